// Any bytes as a jar: the central directory is read or refused, every entry is read within its
// limit or refused, and a manifest or module declaration found in it is parsed. The same bytes
// also go to the inflater, the manifest parser and the module declaration parser directly, so
// that each sees inputs that a zip file would rarely get through to it.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "Inflate.h"
#include "JarManifest.h"
#include "ModuleInfo.h"
#include "ZipFile.h"

namespace {

constexpr size_t kLimit = 1 << 20;

[[noreturn]] void fail(const std::string& what) {
    std::cerr << "zip reader invariant broken: " << what << std::endl;
    std::abort();
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void parseManifest(const std::string& text) {
    JarManifest manifest;
    const bool ok = manifest.parse(text);
    if (ok != manifest.error().empty() || (!ok && manifest.error().compare(0, 5, "line ") != 0)) {
        fail("a manifest result without the matching error text");
    }
    if (!ok && (manifest.has("Main-Class") || !manifest.classPath().empty())) {
        fail("attributes kept from a refused manifest");
    }
}

void parseModuleInfo(const std::string& bytes) {
    ModuleInfo info;
    if (!ModuleInfo::parse(bytes, info) && !(info.name.empty() && info.mainClass.empty())) {
        fail("values kept from a refused module declaration");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    ZipFile zip;
    if (zip.openBytes(input)) {
        if (!zip.error().empty()) {
            fail("an error text after a successful open");
        }
        for (const std::string& name : zip.names()) {
            if (!zip.contains(name)) {
                fail("a listed entry that is not contained");
            }
            std::string content;
            for (const size_t limit : {kLimit, size_t(16)}) {
                if (zip.read(name, content, limit) ? content.size() > limit : !content.empty()) {
                    fail("an entry read beyond its limit, or content left from a failed read");
                }
            }
            if (zip.read(name, content, kLimit)) {
                if (name == JarManifest::kEntryName) {
                    parseManifest(content);
                }
                if (endsWith(name, "module-info.class")) {
                    parseModuleInfo(content);
                }
            }
        }
        JarManifest manifest;
        manifest.readFrom(zip);
    } else if (zip.error().empty() || !zip.names().empty()) {
        fail("a refused zip file without a reason, or with entries");
    }

    std::string out;
    if (Inflate::inflate(data, size, out, kLimit) ? out.size() > kLimit : !out.empty()) {
        fail("inflated beyond the limit, or content left from a failed stream");
    }
    parseManifest(input);
    parseModuleInfo(input);
    return 0;
}
