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

TEST(InfoPlistTest, WhatReadsAsEmpty) {
    const TempDir tmp;
    writeFile(tmp / "array", "<plist version=\"1.0\"><array><string>x</string></array></plist>");
    writeFile(tmp / "garbage", std::string("bplist00\xff\xff", 10));
    writeFile(tmp / "cut", kBinary.substr(0, 60));
    writeFile(tmp / "large", plist(std::string(InfoPlist::kMaxSize, ' ')));
    ASSERT_EQ(0, ::mkfifo((tmp / "fifo").c_str(), 0600));
    for (const char* name : {"array", "garbage", "cut", "large", "fifo", "missing"}) {
        const InfoPlist p = InfoPlist::read(tmp / name);
        EXPECT_TRUE(p.strings.empty() && p.dictionaries.empty()) << name;
    }
}

} // namespace
