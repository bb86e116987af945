// Any bytes as a jar: the central directory is read or refused, every entry is read within its
// limit or refused (through zlib), and a manifest found in it is parsed. The same bytes also go
// to the manifest parser directly, which a zip file would rarely let them reach.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "JarManifest.h"
#include "ZipFile.h"

namespace {

constexpr size_t kLimit = 1 << 20;

[[noreturn]] void fail(const std::string& what) {
    std::cerr << "zip reader invariant broken: " << what << std::endl;
    std::abort();
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
            }
        }
        JarManifest manifest;
        manifest.readFrom(zip);
    } else if (zip.error().empty() || !zip.names().empty()) {
        fail("a refused zip file without a reason, or with entries");
    }

    parseManifest(input);
    return 0;
}
