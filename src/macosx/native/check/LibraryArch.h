#ifndef LIBRARYARCH_H
#define LIBRARYARCH_H

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

    // The architecture this program was compiled for, named as in archs.
    static std::string ownArch();

    // True when the header names archs and none of them is arch.
    bool lacks(const std::string& arch) const;
};

#endif // LIBRARYARCH_H
