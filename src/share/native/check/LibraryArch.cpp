#include "LibraryArch.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <sys/stat.h>

namespace {

// The unsigned integers of a file's bytes in one byte order; one that lies outside the bytes
// throws std::out_of_range, which makes the whole reading come to nothing.
struct Reader {
    const std::string& d;
    bool bigEndian;

    bool has(uint64_t offset, uint64_t size) const {
        return offset <= d.size() && size <= d.size() - offset;
    }
    uint64_t operator()(uint64_t offset, unsigned size) const {
        if (!has(offset, size)) {
            throw std::out_of_range("past the end of the file");
        }
        uint64_t v = 0;
        for (unsigned i = 0; i != size; ++i) {
            v = v << 8 | static_cast<unsigned char>(d[offset + (bigEndian ? i : size - 1 - i)]);
        }
        return v;
    }
};

// The name of an architecture's code in names, else the code printed with format.
std::string archName(const std::map<uint64_t, const char*>& names, uint64_t code,
                     const char* format) {
    const auto it = names.find(code);
    char buf[32];
    std::snprintf(buf, sizeof buf, format, static_cast<unsigned long long>(code));
    return it != names.end() ? it->second : buf;
}

// Mach-O cpu types: the family in the low bits, 0x01000000 for its 64-bit variant.
const std::map<uint64_t, const char*> kMachOArchs = {{0x01000007, "x86_64"},
                                                     {0x0100000c, "arm64"},
                                                     {0x0200000c, "arm64_32"},
                                                     {7, "i386"},
                                                     {12, "arm"},
                                                     {18, "ppc"},
                                                     {0x01000012, "ppc64"}};
const std::map<uint64_t, const char*> kElfArchs = {
    {62, "x86_64"}, {183, "arm64"}, {3, "i386"}, {40, "arm"}};

// A universal header lists at most a handful of architectures; a larger count is something
// else with the same magic (a Java class file, whose version sits there).
constexpr uint64_t kMaxFatArchs = (LibraryArch::kHeaderSize - 8) / 32;

LibraryArch readHeader(const std::string& d) {
    const Reader be{d, true};
    const uint64_t magic = be(0, 4);
    const uint64_t count = be(4, 4);
    if (magic == 0x7f454c46) { // "\x7f" "ELF"
        return {"ELF", {archName(kElfArchs, Reader{d, d[5] == 2}(18, 2), "e_machine %llu")}};
    }
    // A thin Mach-O file's magic reads back as written only in the file's own byte order.
    if (magic == 0xfeedface || magic == 0xfeedfacf || magic == 0xcefaedfe || magic == 0xcffaedfe) {
        return {"Mach-O",
                {archName(kMachOArchs, Reader{d, d[0] == '\xfe'}(4, 4), "cputype 0x%llx")}};
    }
    const size_t entrySize = magic == 0xcafebabe ? 20 : 32;
    if ((magic != 0xcafebabe && magic != 0xcafebabf) || count == 0 || count > kMaxFatArchs ||
        !be.has(8, count * entrySize)) {
        return LibraryArch();
    }
    LibraryArch result{"universal", {}};
    for (uint32_t i = 0; i != count; ++i) {
        result.archs.push_back(archName(kMachOArchs, be(8 + i * entrySize, 4), "cputype 0x%llx"));
    }
    return result;
}

// True when the NUL-ended name at offset of the string table [table, table + size) is name.
bool nameIs(const std::string& d, uint64_t table, uint64_t size, uint64_t offset,
            const std::string& name) {
    return Reader{d, true}.has(table, size) && offset < size && size - offset > name.size() &&
           d.compare(table + offset, name.size(), name) == 0 &&
           d[table + offset + name.size()] == '\0';
}

// An ELF file's dynamic symbol table: what the dynamic linker finds in it.
std::optional<bool> elfDefines(const std::string& d, const std::string& symbol) {
    const bool is64 = d[4] == 2;
    const unsigned word = is64 ? 8 : 4;
    const Reader at{d, d[5] == 2};
    const uint64_t shoff = at(is64 ? 0x28 : 0x20, word);
    const uint64_t shentsize = at(is64 ? 0x3a : 0x2e, 2);
    const uint64_t shnum = at(is64 ? 0x3c : 0x30, 2);
    if (shoff > d.size()) {
        return std::nullopt;
    }
    // A field of the index-th section header, at off64 in a 64-bit file, else at off32.
    const auto field = [&](uint64_t index, unsigned off64, unsigned off32, unsigned size) {
        return at(shoff + index * shentsize + (is64 ? off64 : off32), size);
    };
    bool tableRead = false;
    for (uint64_t i = 0; i != shnum; ++i) {
        if (field(i, 4, 4, 4) != 11) { // SHT_DYNSYM
            continue;
        }
        const uint64_t offset = field(i, 0x18, 0x10, word);
        const uint64_t size = field(i, 0x20, 0x14, word);
        const uint64_t link = field(i, 0x28, 0x18, 4);
        const uint64_t entsize = field(i, 0x38, 0x24, word);
        const uint64_t strOffset = field(link, 0x18, 0x10, word);
        const uint64_t strSize = field(link, 0x20, 0x14, word);
        if (entsize < (is64 ? 24u : 16u) || entsize > d.size() || !at.has(offset, size)) {
            return std::nullopt;
        }
        tableRead = true;
        for (uint64_t e = offset; e + entsize <= offset + size; e += entsize) {
            const uint64_t binding = at(e + (is64 ? 4 : 12), 1) >> 4;
            // Defined (in a section), of global or weak binding.
            if (at(e + (is64 ? 6 : 14), 2) != 0 && (binding == 1 || binding == 2) &&
                nameIs(d, strOffset, strSize, at(e, 4), symbol)) {
                return true;
            }
        }
    }
    return tableRead ? std::optional<bool>(false) : std::nullopt;
}

// A thin Mach-O file's symbol table, where a C name has "_" before it.
std::optional<bool> machODefines(const std::string& d, const std::string& symbol) {
    const bool is64 = d[0] == '\xcf' || d[3] == '\xcf';
    const Reader at{d, d[0] == '\xfe'};
    uint64_t cmd = is64 ? 32 : 28;
    for (uint64_t i = 0, ncmds = at(16, 4); i != ncmds; ++i) {
        const uint64_t size = at(cmd + 4, 4);
        if (size < 8) {
            return std::nullopt;
        }
        if (at(cmd, 4) == 2) {
            // LC_SYMTAB: nlist entries, each external, defined in a section, no debugging entry.
            const uint64_t symoff = at(cmd + 8, 4), nsyms = at(cmd + 12, 4);
            const uint64_t stroff = at(cmd + 16, 4), strsize = at(cmd + 20, 4);
            const uint64_t entry = is64 ? 16 : 12;
            for (uint64_t n = symoff; n != symoff + nsyms * entry && at.has(n, entry); n += entry) {
                const uint64_t kind = at(n + 4, 1);
                if ((kind & 0xe0) == 0 && (kind & 0x0f) == 0x0f &&
                    nameIs(d, stroff, strsize, at(n, 4), "_" + symbol)) {
                    return true;
                }
            }
            return at.has(symoff, nsyms * entry) ? std::optional<bool>(false) : std::nullopt;
        }
        cmd += size;
    }
    return std::nullopt;
}

// The first most bytes of the regular file at path (no pipe, which would wait for a writer);
// none where it cannot be read, or has more and whole is set.
std::optional<std::string> readFile(const std::string& path, size_t most, bool whole) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (whole && static_cast<unsigned long long>(st.st_size) > most)) {
        return std::nullopt;
    }
    try {
        std::ifstream in(path, std::ios::binary);
        std::string bytes(std::min<unsigned long long>(st.st_size, most), '\0');
        in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<size_t>(in.gcount()));
        return in.is_open() ? std::optional<std::string>(bytes) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

LibraryArch LibraryArch::ofFile(const std::string& path) {
    const std::optional<std::string> header = readFile(path, kHeaderSize, false);
    return header ? ofHeader(*header) : LibraryArch();
}

LibraryArch LibraryArch::ofHeader(const std::string& header) {
    try {
        return readHeader(header);
    } catch (const std::exception&) {
        return LibraryArch();
    }
}

std::optional<bool> LibraryArch::definesSymbol(const std::string& path, const std::string& symbol,
                                               const std::string& arch) {
    const std::optional<std::string> bytes = readFile(path, kMaxSymbolFile, true);
    return bytes ? definesSymbolIn(*bytes, symbol, arch) : std::nullopt;
}

std::optional<bool> LibraryArch::definesSymbolIn(const std::string& bytes,
                                                 const std::string& symbol,
                                                 const std::string& arch) {
    try {
        const LibraryArch file = readHeader(bytes);
        if (file.format == "ELF") {
            return elfDefines(bytes, symbol);
        }
        if (file.format == "Mach-O") {
            return machODefines(bytes, symbol);
        }
        const bool fat64 = bytes[3] == '\xbf';
        const Reader be{bytes, true};
        for (size_t i = 0; i != file.archs.size(); ++i) {
            const uint64_t entry = 8 + i * (fat64 ? 32 : 20);
            const uint64_t offset = be(entry + 8, fat64 ? 8 : 4);
            const uint64_t size = be(entry + (fat64 ? 16 : 12), fat64 ? 8 : 4);
            if (file.archs[i] == arch && be.has(offset, size)) {
                const std::string part = bytes.substr(offset, size);
                return readHeader(part).format == "Mach-O" ? machODefines(part, symbol)
                                                           : std::nullopt;
            }
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::string LibraryArch::ownArch() {
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__aarch64__) || defined(__arm64__)
    return "arm64";
#elif defined(__i386__)
    return "i386";
#else
    return "unknown";
#endif
}

LibraryArch LibraryArch::own() {
#ifdef __APPLE__
    return {"Mach-O", {ownArch()}};
#else
    return {"ELF", {ownArch()}};
#endif
}

bool LibraryArch::lacks(const std::string& arch) const {
    return !archs.empty() && std::find(archs.begin(), archs.end(), arch) == archs.end();
}

bool LibraryArch::cannotLoadInto(const LibraryArch& launcher) const {
    if (format.empty() || launcher.format.empty()) {
        return false;
    }
    return (format == "ELF") != (launcher.format == "ELF") ||
           std::all_of(launcher.archs.begin(), launcher.archs.end(),
                       [this](const std::string& arch) { return lacks(arch); });
}

bool LibraryArch::runsHere() const {
    return !cannotLoadInto(own());
}
