// Any bytes as a jar's manifest: read or refused with the line and why, never anything kept from
// a refused one.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "JarManifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    JarManifest manifest;
    const bool ok = manifest.parse(std::string(reinterpret_cast<const char*>(data), size));
    if (ok != manifest.error().empty() || (!ok && manifest.error().compare(0, 5, "line ") != 0) ||
        (!ok && (manifest.has("Main-Class") || !manifest.classPath().empty()))) {
        std::cerr << "manifest reader invariant broken: " << manifest.error() << std::endl;
        std::abort();
    }
    return 0;
}
