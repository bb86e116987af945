#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "InfoPlist.h"
#include "TestUtils.h"

namespace {

std::string plist(const std::string& dict) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + dict +
           "</dict>\n</plist>\n";
}

// As Python's plistlib writes {"CFBundleExecutable": "Hello", "LSEnvironment": {"LANG":
// "de_DE.UTF-8", "N": "1"}} in the binary form.
const std::string
    kBinary("\x62\x70\x6c\x69\x73\x74\x30\x30\xd2\x01\x02\x03\x04\x5f\x10\x12\x43\x46\x42\x75\x6e"
            "\x64\x6c\x65\x45\x78\x65\x63\x75\x74\x61\x62\x6c\x65\x5d\x4c\x53\x45\x6e\x76\x69\x72"
            "\x6f\x6e\x6d\x65\x6e\x74\x55\x48\x65\x6c\x6c\x6f\xd2\x05\x06\x07\x08\x54\x4c\x41\x4e"
            "\x47\x51\x4e\x5b\x64\x65\x5f\x44\x45\x2e\x55\x54\x46\x2d\x38\x51\x31\x08\x0d\x22\x30"
            "\x36\x3b\x40\x42\x4e\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x09"
            "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x50",
            121);

TEST(InfoPlistTest, ReadsStringsAndDictionaries) {
    const std::map<std::string, std::string> env = {{"LANG", "de_DE.UTF-8"}, {"N", "1"}};
    const std::string xml =
        plist("<key>CFBundleExecutable</key><string>A&amp;B &lt;x&gt;</string>\n"
              "<key>LSEnvironment</key><dict><key>LANG</key><string>de_DE.UTF-8</string>"
              "<key>N</key><string>1</string><key>Skipped</key><integer>2</integer></dict>\n"
              "<key>CFBundleDocumentTypes</key><array><dict><key>CFBundleExecutable</key>"
              "<string>nested</string></dict></array>\n");
    const InfoPlist fromXml = InfoPlist::parse(xml);
    EXPECT_EQ("A&B <x>", fromXml.string("CFBundleExecutable"));
    EXPECT_EQ(env, fromXml.dictionaries.at("LSEnvironment"));
    const InfoPlist fromBinary = InfoPlist::parse(kBinary);
    EXPECT_EQ("Hello", fromBinary.string("CFBundleExecutable"));
    EXPECT_EQ(env, fromBinary.dictionaries.at("LSEnvironment"));
}

// What a Mac does not open a bundle with is an error, read within bounds; no file is none.
TEST(InfoPlistTest, WhatCannotBeReadIsAnError) {
    const TempDir tmp;
    // 300 arrays in XML, and in the binary form each holding the next (two-byte references and
    // offsets), then the offset table and the trailer.
    std::string deepXml = "<plist>";
    std::string deepBinary = "bplist00";
    std::string offsets;
    const auto big16 = [](size_t v) { return std::string{char(v >> 8), char(v & 0xff)}; };
    for (size_t i = 0; i < 300; ++i) {
        deepXml += "<array>";
        offsets += big16(deepBinary.size());
        deepBinary += i < 299 ? "\xa1" + big16(i + 1) : std::string("\xa0");
    }
    const size_t table = deepBinary.size();
    deepBinary += offsets + std::string(6, '\0') + "\x02\x02" + std::string(6, '\0') + big16(300) +
                  std::string(8, '\0') + std::string(6, '\0') + big16(table);
    writeFile(tmp / "array", "<plist version=\"1.0\"><array><string>x</string></array></plist>");
    writeFile(tmp / "garbage", std::string("bplist00\xff\xff", 10));
    writeFile(tmp / "cut", kBinary.substr(0, 60));
    writeFile(tmp / "large", plist(std::string(InfoPlist::kMaxSize, ' ')));
    writeFile(tmp / "deep", deepXml);
    writeFile(tmp / "deep-binary", deepBinary);
    writeFile(tmp / "shallow-binary",
              deepBinary.substr(0, table).replace(8 + 3 * 250, 3, std::string("\xa0\0\0", 3)) +
                  deepBinary.substr(table));
    std::string nul = kBinary;
    nul[nul.find("Hello") + 2] = '\0';
    writeFile(tmp / "nul", nul);
    writeFile(tmp / "nul-xml", plist("<key>A</key><string>a&#x0;b</string>"));
    writeFile(tmp / "shallow", plist("<key>A</key><array><array/><!-- <array> --></array>"));
    ASSERT_EQ(0, ::mkfifo((tmp / "fifo").c_str(), 0600));
    const std::string deep =
        "its arrays and dictionaries nest deeper than 256 levels, the most the check reads";
    const struct {
        const char* name;
        std::string error;
    } cases[] = {
        {"array", "its top level is no dictionary"},
        {"garbage", "it is no property list"},
        {"cut", "it is no property list"},
        {"large", "it is larger than 8 MB, the most the check reads"},
        {"deep", deep},
        {"deep-binary", deep},
        // Nested less deep: the library reads it, and its top level is no dictionary.
        {"shallow-binary", "its top level is no dictionary"},
        {"shallow", ""},
        // The host's library aborts on it.
        {"nul", "a string in it holds a NUL character, which the check does not read"},
        {"nul-xml", "it holds a NUL character, which no XML property list may"},
        {"fifo", "it is no regular file"},
        {"missing", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error, InfoPlist::read(tmp / c.name).error) << c.name;
    }
}

} // namespace
