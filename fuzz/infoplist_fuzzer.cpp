// Any bytes as an Info.plist, and any bytes as a string value inside one: no crash, no read
// past the text, decoding never adds bytes, and a value written as XML escapes it reads back
// exactly.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "InfoPlist.h"

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& input) {
    std::cerr << "InfoPlist invariant broken: " << what << " (input of " << input.size()
              << " bytes)" << std::endl;
    std::abort();
}

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (const char* key : {"CFBundleExecutable", "", "a"}) {
        if (InfoPlist::stringValue(input, key).size() > input.size()) {
            fail("a value longer than the text", input);
        }
    }
    const std::string plist =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n"
        "<dict>\n\t<key>Nested</key>\n\t<array><dict><key>CFBundleExecutable"
        "</key><string>nested</string></dict></array>\n"
        "\t<key>CFBundleExecutable</key>\n\t<string>" +
        escaped(input) + "</string>\n</dict>\n</plist>\n";
    if (InfoPlist::stringValue(plist, "CFBundleExecutable") != input) {
        fail("an escaped value does not read back", input);
    }
    return 0;
}
