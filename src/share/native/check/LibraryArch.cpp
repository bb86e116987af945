#include "LibraryArch.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <sys/stat.h>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

uint32_t read32(const unsigned char* p, bool bigEndian) {
    return bigEndian ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
                     : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
}

uint16_t read16(const unsigned char* p, bool bigEndian) {
    return bigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
}

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", v);
    return buf;
}

// Mach-O cpu types: the family in the low bits, 0x01000000 for its 64-bit variant.
std::string machArch(uint32_t cputype) {
    switch (cputype) {
    case 0x01000007:
        return "x86_64";
    case 0x0100000c:
        return "arm64";
    case 0x0200000c:
        return "arm64_32";
    case 7:
        return "i386";
    case 12:
        return "arm";
    case 18:
        return "ppc";
    case 0x01000012:
        return "ppc64";
    default:
        return "cputype " + hex(cputype);
    }
}

std::string elfArch(uint16_t machine) {
    switch (machine) {
    case 62:
        return "x86_64";
    case 183:
        return "arm64";
    case 3:
        return "i386";
    case 40:
        return "arm";
    default:
        return "e_machine " + std::to_string(machine);
    }
}

// A universal header lists at most a handful of architectures; a larger count is something
// else with the same magic (a Java class file, whose version sits there).
constexpr uint32_t kMaxFatArchs = 32;

LibraryArch readHeader(const unsigned char* h, size_t n) {
    LibraryArch result;
    if (n < 8) {
        return result;
    }

    if (h[0] == 0x7f && h[1] == 'E' && h[2] == 'L' && h[3] == 'F' && n >= 20) {
        result.format = "ELF";
        result.archs.push_back(elfArch(read16(h + 18, h[5] == 2)));
        return result;
    }

    const uint32_t be = read32(h, true);
    if (be == 0xfeedface || be == 0xfeedfacf || be == 0xcefaedfe || be == 0xcffaedfe) {
        result.format = "Mach-O";
        // The magic reads back as written only in the file's own byte order.
        const bool bigEndian = be == 0xfeedface || be == 0xfeedfacf;
        result.archs.push_back(machArch(read32(h + 4, bigEndian)));
        return result;
    }

    if (be == 0xcafebabe || be == 0xcafebabf) {
        const uint32_t count = read32(h + 4, true);
        const size_t entrySize = be == 0xcafebabe ? 20 : 32;
        if (count == 0 || count > kMaxFatArchs || n < 8 + count * entrySize) {
            return result;
        }
        result.format = "universal";
        for (uint32_t i = 0; i != count; ++i) {
            result.archs.push_back(machArch(read32(h + 8 + i * entrySize, true)));
        }
    }
    return result;
}

// The unsigned integer of size bytes at offset in d, into v; false where it lies outside d.
bool readAt(const std::string& d, uint64_t offset, unsigned size, bool bigEndian, uint64_t& v) {
    if (offset > d.size() || size > d.size() - offset) {
        return false;
    }
    v = 0;
    for (unsigned i = 0; i != size; ++i) {
        v = v << 8 | static_cast<unsigned char>(d[offset + (bigEndian ? i : size - 1 - i)]);
    }
    return true;
}

// True when the NUL-ended name at offset of the string table [table, table + size) is name.
bool nameIs(const std::string& d, uint64_t table, uint64_t size, uint64_t offset,
            const std::string& name) {
    return table <= d.size() && size <= d.size() - table && offset < size &&
           size - offset > name.size() && d.compare(table + offset, name.size(), name) == 0 &&
           d[table + offset + name.size()] == '\0';
}

// An ELF file's dynamic symbol table: what the dynamic linker finds in it.
std::optional<bool> elfDefines(const std::string& d, const std::string& symbol) {
    const bool is64 = d[4] == 2;
    const bool be = d[5] == 2;
    const unsigned word = is64 ? 8 : 4;
    uint64_t shoff = 0, shentsize = 0, shnum = 0;
    if (!readAt(d, is64 ? 0x28 : 0x20, word, be, shoff) ||
        !readAt(d, is64 ? 0x3a : 0x2e, 2, be, shentsize) ||
        !readAt(d, is64 ? 0x3c : 0x30, 2, be, shnum) || shoff > d.size()) {
        return std::nullopt;
    }
    bool tableRead = false;
    for (uint64_t i = 0; i != shnum; ++i) {
        const uint64_t sh = shoff + i * shentsize;
        uint64_t type = 0, offset = 0, size = 0, link = 0, entsize = 0, strOffset = 0, strSize = 0;
        if (!readAt(d, sh + 4, 4, be, type)) {
            return std::nullopt;
        }
        if (type != 11) { // SHT_DYNSYM
            continue;
        }
        if (!readAt(d, sh + (is64 ? 0x18 : 0x10), word, be, offset) ||
            !readAt(d, sh + (is64 ? 0x20 : 0x14), word, be, size) ||
            !readAt(d, sh + (is64 ? 0x28 : 0x18), 4, be, link) ||
            !readAt(d, sh + (is64 ? 0x38 : 0x24), word, be, entsize) ||
            !readAt(d, shoff + link * shentsize + (is64 ? 0x18 : 0x10), word, be, strOffset) ||
            !readAt(d, shoff + link * shentsize + (is64 ? 0x20 : 0x14), word, be, strSize) ||
            entsize < (is64 ? 24u : 16u) || entsize > d.size() || offset > d.size() ||
            size > d.size() - offset) {
            return std::nullopt;
        }
        tableRead = true;
        for (uint64_t e = offset; e + entsize <= offset + size; e += entsize) {
            uint64_t name = 0, info = 0, section = 0;
            readAt(d, e, 4, be, name);
            readAt(d, e + (is64 ? 4 : 12), 1, be, info);
            readAt(d, e + (is64 ? 6 : 14), 2, be, section);
            // Defined (in a section), of global or weak binding.
            if (section != 0 && (info >> 4 == 1 || info >> 4 == 2) &&
                nameIs(d, strOffset, strSize, name, symbol)) {
                return true;
            }
        }
    }
    return tableRead ? std::optional<bool>(false) : std::nullopt;
}

// A thin Mach-O file's symbol table, where a C name has "_" before it.
std::optional<bool> machODefines(const std::string& d, const std::string& symbol) {
    uint64_t magic = 0, ncmds = 0;
    readAt(d, 0, 4, true, magic);
    const bool be = magic == 0xfeedface || magic == 0xfeedfacf;
    const bool is64 = magic == 0xfeedfacf || magic == 0xcffaedfe;
    if (!readAt(d, 16, 4, be, ncmds)) {
        return std::nullopt;
    }
    uint64_t cmd = is64 ? 32 : 28;
    for (uint64_t i = 0; i != ncmds; ++i) {
        uint64_t type = 0, size = 0;
        if (!readAt(d, cmd, 4, be, type) || !readAt(d, cmd + 4, 4, be, size) || size < 8) {
            return std::nullopt;
        }
        uint64_t symoff = 0, nsyms = 0, stroff = 0, strsize = 0;
        if (type == 2 && readAt(d, cmd + 8, 4, be, symoff) && readAt(d, cmd + 12, 4, be, nsyms) &&
            readAt(d, cmd + 16, 4, be, stroff) && readAt(d, cmd + 20, 4, be, strsize)) {
            // LC_SYMTAB: nlist entries, each external, defined in a section, no debugging entry.
            const uint64_t entry = is64 ? 16 : 12;
            for (uint64_t n = 0; n != nsyms && symoff + (n + 1) * entry <= d.size(); ++n) {
                uint64_t name = 0, kind = 0;
                readAt(d, symoff + n * entry, 4, be, name);
                readAt(d, symoff + n * entry + 4, 1, be, kind);
                if ((kind & 0xe0) == 0 && (kind & 0x0f) == 0x0f &&
                    nameIs(d, stroff, strsize, name, "_" + symbol)) {
                    return true;
                }
            }
            return symoff + nsyms * entry <= d.size() ? std::optional<bool>(false) : std::nullopt;
        }
        cmd += size;
    }
    return std::nullopt;
}

} // namespace

static_assert(LibraryArch::kHeaderSize == 8 + 32 * kMaxFatArchs, "the largest universal header");

LibraryArch LibraryArch::ofFile(const std::string& path) {
    // Only a regular file is read: opening a pipe would wait for a writer.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return LibraryArch();
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return LibraryArch();
    }
    unsigned char h[kHeaderSize] = {};
    return ofHeader(h, std::fread(h, 1, sizeof h, file.get()));
}

LibraryArch LibraryArch::ofHeader(const unsigned char* h, size_t n) {
    try {
        return readHeader(h, n);
    } catch (const std::bad_alloc&) {
        return LibraryArch();
    }
}

std::optional<bool> LibraryArch::definesSymbol(const std::string& path, const std::string& symbol,
                                               const std::string& arch) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > kMaxSymbolFile) {
        return std::nullopt;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    try {
        std::string bytes(static_cast<size_t>(st.st_size), '\0');
        bytes.resize(std::fread(&bytes[0], 1, bytes.size(), file.get()));
        return definesSymbolIn(bytes, symbol, arch);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<bool> LibraryArch::definesSymbolIn(const std::string& bytes,
                                                 const std::string& symbol,
                                                 const std::string& arch) {
    const LibraryArch file = ofHeader(reinterpret_cast<const unsigned char*>(bytes.data()),
                                      std::min(bytes.size(), kHeaderSize));
    if (file.format == "ELF") {
        return elfDefines(bytes, symbol);
    }
    if (file.format == "Mach-O") {
        return machODefines(bytes, symbol);
    }
    if (file.format != "universal") {
        return std::nullopt;
    }
    const bool fat64 = bytes[3] == '\xbf';
    for (size_t i = 0; i != file.archs.size(); ++i) {
        const uint64_t entry = 8 + i * (fat64 ? 32 : 20);
        uint64_t offset = 0, size = 0;
        if (file.archs[i] == arch && readAt(bytes, entry + 8, fat64 ? 8 : 4, true, offset) &&
            readAt(bytes, entry + (fat64 ? 16 : 12), fat64 ? 8 : 4, true, size) &&
            offset <= bytes.size() && size <= bytes.size() - offset) {
            const std::string part = bytes.substr(offset, size);
            const LibraryArch thin = ofHeader(reinterpret_cast<const unsigned char*>(part.data()),
                                              std::min(part.size(), kHeaderSize));
            return thin.format == "Mach-O" ? machODefines(part, symbol) : std::nullopt;
        }
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
