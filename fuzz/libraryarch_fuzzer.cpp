// Any bytes as the header of a library: a known format with its architectures, or none; never
// a read past the header. The same bytes as a whole library: its symbol table read within them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "LibraryArch.h"

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::cerr << "LibraryArch invariant broken: " << what << std::endl;
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // At most what ofFile reads, in a buffer of its own so that a read past it is caught.
    const std::string header(reinterpret_cast<const char*>(data),
                             std::min(size, LibraryArch::kHeaderSize));
    const LibraryArch arch = LibraryArch::ofHeader(header);
    if (arch.format.empty() != arch.archs.empty()) {
        fail("a format without architectures, or architectures without a format");
    }
    if (arch.format == "universal") {
        if (arch.archs.size() > 32) {
            fail("more architectures than a universal header holds");
        }
    } else if (arch.format == "ELF" || arch.format == "Mach-O") {
        if (arch.archs.size() != 1) {
            fail("a single-architecture format with " + std::to_string(arch.archs.size()));
        }
    } else if (!arch.format.empty()) {
        fail("unknown format " + arch.format);
    }
    for (const std::string& a : arch.archs) {
        if (a.empty()) {
            fail("an architecture without a name");
        }
    }
    const std::string whole(reinterpret_cast<const char*>(data), size);
    for (const char* own : {"x86_64", "arm64"}) {
        if (LibraryArch::definesSymbolIn(whole, "JLI_Launch", own) && arch.format.empty()) {
            fail("a symbol table read in a file of no known format");
        }
    }
    return 0;
}
