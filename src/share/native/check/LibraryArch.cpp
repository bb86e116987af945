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
