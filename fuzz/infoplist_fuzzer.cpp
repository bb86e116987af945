// Any bytes as an Info.plist: bounded in size and nesting before the system's library reads
// them; read, or an error, never a crash (a sanitizer report, a stack overflow).
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "InfoPlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const InfoPlist plist =
        InfoPlist::parse(std::string(reinterpret_cast<const char*>(data), size));
    if (!plist.error.empty() && (!plist.strings.empty() || !plist.dictionaries.empty())) {
        std::cerr << "InfoPlist: values beside the error " << plist.error << std::endl;
        std::abort();
    }
    return 0;
}
