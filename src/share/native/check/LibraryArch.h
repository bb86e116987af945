#ifndef LIBRARYARCH_H
#define LIBRARYARCH_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// What a library file's header says it was built for.
struct LibraryArch {
    // "ELF", "Mach-O", "universal", or "" when the header is none of these or cannot be read.
    std::string format;
    // The architectures in the file ("x86_64", "arm64", ...); several only in a universal file.
    std::vector<std::string> archs;

    // Reads the header of the file at path (following symbolic links); never throws.
    static LibraryArch ofFile(const std::string& path);
    // The same for a file's first bytes; never throws.
    static LibraryArch ofHeader(const std::string& header);
    // The bytes of a header that ofHeader reads at most: a universal header of 32 entries.
    static constexpr size_t kHeaderSize = 8 + 32 * 32;

    // Whether the file at path (at most kMaxSymbolFile bytes; in a universal file, arch's part)
    // exports symbol, read without loading it; nullopt where it cannot be read. Never throws.
    static std::optional<bool> definesSymbol(const std::string& path, const std::string& symbol,
                                             const std::string& arch);
    // The same for a file's bytes in memory.
    static std::optional<bool> definesSymbolIn(const std::string& bytes, const std::string& symbol,
                                               const std::string& arch);
    static constexpr size_t kMaxSymbolFile = 64u << 20;

    // The architecture this program was compiled for, named as in archs.
    static std::string ownArch();
    // This machine's own format and architecture.
    static LibraryArch own();

    // True when the header names archs and none of them is arch.
    bool lacks(const std::string& arch) const;
    // True when the launcher (its header) certainly cannot load this file: another system's
    // format, or none of its architectures.
    bool cannotLoadInto(const LibraryArch& launcher) const;
    // True when this machine can load or start the file, or its header tells nothing.
    bool runsHere() const;
};

#endif // LIBRARYARCH_H
