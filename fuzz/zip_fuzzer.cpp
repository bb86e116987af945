// Any bytes as a jar: the central directory is read or refused, the manifest entry is unpacked
// within its limit or refused (through zlib) and parsed. The same bytes also go to the manifest
// parser directly, which a zip file would rarely let them reach.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "JarManifest.h"
#include "WorkFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static WorkFile work;
    work.write(data, size);
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (const JarManifest::Attributes& read :
         {JarManifest::read(work.path), JarManifest::parse(input)}) {
        for (const auto& a : read) {
            if (a.first.empty() || a.first.find_first_of("\r\n") != std::string::npos) {
                std::cerr << "manifest reader invariant broken: a name that is none\n";
                std::abort();
            }
        }
        JarManifest::classPath(read);
    }
    return 0;
}
