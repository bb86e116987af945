#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CfgDiagnostics.h"
#include "TestUtils.h"
#include "UnitTestUtils.h"

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out(1);
    for (const char c : text) {
        if (c == '\n') {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

// Every value the parser kept must point at the line it came from: findings name lines, so
// the observer has to follow the parser through repeated sections and dropped lines.
TEST(CfgDiagnosticsTest, KeptValuesPointAtTheirLines) {
    const char* const cases[] = {
        "[Application]\napp.mainclass=A\napp.mainclass=B\n",
        "[JavaOptions]\njava-options=a\n[JavaOptions]\njava-options=b\njava-options=c\n",
        // A later occurrence without a known property leaves the earlier one in place.
        "[JavaOptions]\njava-options=a\n[JavaOptions]\nunknown=x\n[Application]\napp.splash\n",
        "; comment\n\n[Nope]\napp.mainclass=X\n[Application]\napp.mainclass=Y\n[Nope]\n",
        "app.mainclass=outside\n[Application]\r\napp.classpath=a\r\n[ArgOptions] tail\narguments=",
        "[Application]\n a=b\napp.mainclass= x\njava-options=-Dx=y\n[ArgOptions]\narguments==\n",
    };
    for (const char* text : cases) {
        TempDir tmp;
        writeFile(tmp / "app.cfg", text);
        CfgDiagnostics observer;
        const CfgFile cfg = CfgFile::load(tmp / "app.cfg", &observer);
        const CfgFile plain = CfgFile::load(tmp / "app.cfg");
        const std::vector<std::string> fileLines = splitLines(text);
        for (const CfgFile::SectionId* section : SectionName::all) {
            // Watching changes nothing in what is read.
            EXPECT_TRUE(plain.getProperties(*section) == cfg.getProperties(*section)) << text;
            for (const CfgFile::PropertyMap::value_type& p : cfg.getProperties(*section)) {
                for (size_t i = 0; i != p.second.size(); ++i) {
                    const size_t line = observer.lineOf(*section, p.first, i);
                    ASSERT_LT(0u, line) << text << p.first.name();
                    ASSERT_GE(fileLines.size(), line) << text;
                    const std::string& got = fileLines[line - 1];
                    const std::string name = p.first.name();
                    EXPECT_TRUE(got == name + "=" + p.second[i] ||
                                (got == name && p.second[i].empty()))
                        << text << "line " << line << ": " << got;
                }
                EXPECT_EQ(0u, observer.lineOf(*section, p.first, p.second.size())) << text;
            }
        }
    }
}

TEST(CfgDiagnosticsTest, ClosestKnownName) {
    const struct {
        std::string name;
        std::string section;
        std::string property;
    } cases[] = {
        {"Aplication", "Application", ""},
        {"application", "Application", ""},
        {" JavaOptions ", "JavaOptions", "java-options"},
        {"ArgOption", "ArgOptions", ""},
        {"app.mainclas", "", "app.mainclass"},
        {"app.classPath", "", "app.classpath"},
        {"java-option", "JavaOptions", "java-options"},
        {"argument ", "", "arguments"},
        {"Options", "", ""},
        {"app", "", ""},
        {"x", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.section, CfgDiagnostics::closestSection(c.name)) << c.name;
        EXPECT_EQ(c.property, CfgDiagnostics::closestProperty(c.name)) << c.name;
    }
}

TEST(CfgDiagnosticsTest, ControlCharactersAreVisible) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"plain $APPDIR/x", "plain $APPDIR/x"},
        {"value\r", "value\\r"},
        {std::string("a\0b\tc\x7f\n", 7), "a\\x00b\\tc\\x7f\\n"},
        {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shown, visibleText(c.text)) << c.text;
    }
}

} // namespace
