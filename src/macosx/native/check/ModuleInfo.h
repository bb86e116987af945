#ifndef MODULEINFO_H
#define MODULEINFO_H

#include <cstddef>
#include <string>

// What a compiled module declaration (module-info.class) says about the module.
struct ModuleInfo {
    // A class file larger than this is not read.
    static constexpr size_t kMaxSize = 4u << 20;

    std::string name;      // the module's name, as stored
    std::string mainClass; // its ModuleMainClass in dotted form ("a.b.Main"), "" when none

    // Reads the class file in bytes; false when it is no module declaration that can be read.
    // Never throws.
    static bool parse(const std::string& bytes, ModuleInfo& out);
};

#endif // MODULEINFO_H
