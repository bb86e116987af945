#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "InfoPlist.h"
#include "TestUtils.h"

namespace {

const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\">\n";

std::string plist(const std::string& dict) {
    return kHead + "<dict>\n" + dict + "</dict>\n</plist>\n";
}

TEST(InfoPlistTest, StringValueOfATopLevelKey) {
    const struct {
        const char* what;
        std::string xml;
        std::string value;
    } cases[] = {
        // As Python's plistlib writes it (make-bundle): sorted keys, tabs.
        {"plistlib",
         plist("\t<key>CFBundleDocumentTypes</key>\n\t<array>\n\t\t<dict>\n"
               "\t\t\t<key>CFBundleExecutable</key>\n\t\t\t<string>nested</string>\n"
               "\t\t</dict>\n\t</array>\n\t<key>CFBundleExecutable</key>\n"
               "\t<string>A&amp;B &lt;x&gt; &quot;q&quot; &apos;s&apos;</string>\n"),
         "A&B <x> \"q\" 's'"},
        // As Xcode may leave it: comments and line breaks between key and value.
        {"comments between",
         plist("<key>CFBundleExecutable</key> <!-- the launcher -->\n"
               "\n  <string>Demo</string>"),
         "Demo"},
        {"blanks kept", plist("<key>CFBundleExecutable</key><string> Demo App </string>"),
         " Demo App "},
        {"empty", plist("<key>CFBundleExecutable</key><string></string>"), ""},
        {"empty element",
         plist("<key>CFBundleExecutable</key><string/><key>X</key>"
               "<string>other</string>"),
         ""},
        {"character references",
         plist("<key>CFBundleExecutable</key><string>&#65;&#x42;&#xe9;&#x1F600;</string>"),
         "AB\xc3\xa9\xf0\x9f\x98\x80"},
        {"unknown references stay",
         plist("<key>CFBundleExecutable</key><string>&nbsp;&#0;&"
               "#xD800;&amp</string>"),
         "&nbsp;&#0;&#xD800;&amp"},
        {"CDATA", plist("<key>CFBundleExecutable</key><string><![CDATA[a<b>&amp;]]></string>"),
         "a<b>&amp;"},
        {"key with an entity", plist("<key>CFBundle&#69;xecutable</key><string>e</string>"), "e"},
        // A key's text inside a value, or as a value, is no key.
        {"key text in a value",
         plist("<key>Other</key><string>&lt;key&gt;CFBundleExecutable&lt;/key&gt;</string>"
               "<key>Comment</key><string><![CDATA[<key>CFBundleExecutable</key>]]></string>"
               "<key>CFBundleName</key><string>CFBundleExecutable</string>"
               "<key>CFBundleExecutable</key><string>real</string>"),
         "real"},
        {"only nested",
         plist("<key>Types</key><array><dict><key>CFBundleExecutable</key>"
               "<string>nested</string></dict></array>"),
         ""},
        {"the value is no string", plist("<key>CFBundleExecutable</key><true/>"), ""},
        {"the value is a dictionary",
         plist("<key>CFBundleExecutable</key><dict><key>a</key><string>b</string></dict>"), ""},
        {"the dictionary ends first", plist("<key>CFBundleExecutable</key>"), ""},
        {"absent", plist("<key>CFBundleName</key><string>Demo</string>"), ""},
        {"unclosed string", plist("<key>CFBundleExecutable</key><string>Demo"), ""},
        {"unclosed comment", plist("<!-- <key>CFBundleExecutable</key><string>Demo</string>"), ""},
        {"binary",
         "bplist00\xd1\x01\x02_\x10\x12"
         "CFBundleExecutable",
         ""},
        {"nothing", "", ""},
        {"a lone <", "<", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value, InfoPlist::stringValue(c.xml, "CFBundleExecutable")) << c.what;
    }
}

TEST(InfoPlistTest, FromAFile) {
    TempDir tmp;
    writeFile(tmp / "Info.plist", plist("<key>CFBundleExecutable</key><string>Demo</string>"));
    makeDirs(tmp / "dir");
    ::mkfifo((tmp / "fifo").c_str(), 0600);
    writeFile(tmp / "large", plist(std::string(InfoPlist::kMaxSize, ' ') +
                                   "<key>CFBundleExecutable</key><string>Demo</string>"));
    const struct {
        std::string path;
        std::string value;
    } cases[] = {{tmp / "Info.plist", "Demo"},
                 {tmp / "missing", ""},
                 {tmp / "dir", ""},
                 {tmp / "fifo", ""},
                 {tmp / "large", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.value, InfoPlist::fileStringValue(c.path, "CFBundleExecutable")) << c.path;
    }
}

} // namespace
