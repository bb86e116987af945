#include <gtest/gtest.h>

#include <vector>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "Log.h"
#include "LogTestUtils.h"
#include "TestUtils.h"
#include "UnitTestUtils.h"

namespace {

// The whole configuration as text: "[Section]" lines, then "name=value" per value.
std::string dump(const CfgFile& cfg) {
    std::string out;
    for (const CfgFile::SectionId* section : SectionName::all) {
        const CfgFile::PropertyMap& props = cfg.getProperties(*section);
        if (props.empty()) {
            continue;
        }
        out += std::string("[") + section->name() + "]\n";
        for (const CfgFile::PropertyMap::value_type& prop : props) {
            for (const std::string& value : prop.second) {
                out += std::string(prop.first.name()) + "=" + value + "\n";
            }
        }
    }
    return out;
}

// A literal with its embedded NUL bytes.
template <size_t N> std::string bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

CfgFile loadText(const TempDir& dir, const std::string& content) {
    const std::string path = dir / "app.cfg";
    writeFile(path, content);
    return CfgFile::load(path);
}

std::string messages(const std::vector<LogEvent>& events) {
    std::string out;
    for (const LogEvent& e : events) {
        out += e.message + "\n";
    }
    return out;
}

TEST(CfgFileTest, Parse) {
    const std::string big(200000, 'x');
    const struct {
        std::string input;
        std::string want;
    } cases[] = {
        {"", ""},
        {"; comment\n\n;[Application]\n", ""},
        {"[Application]\napp.mainclass=Foo\n", "[Application]\napp.mainclass=Foo\n"},
        // No trimming anywhere.
        {"[Application]\napp.mainclass = Foo\n", ""},
        {"[Application]\napp.mainclass= Foo \n", "[Application]\napp.mainclass= Foo \n"},
        // Only the first "=" splits.
        {"[JavaOptions]\njava-options=-Dx=y\n", "[JavaOptions]\njava-options=-Dx=y\n"},
        // A bare name records an empty value; an empty name records nothing.
        {"[Application]\napp.splash\n", "[Application]\napp.splash=\n"},
        {"[Application]\n=value\n", ""},
        // An escaped "=" does not split and keeps its backslash.
        {"[Application]\na\\=b=c\napp.splash=d\\=e\n", "[Application]\napp.splash=d\\=e\n"},
        // Header forms.
        {"[Application] trailing\napp.mainclass=A\n", "[Application]\napp.mainclass=A\n"},
        {"[ Application ]\napp.mainclass=A\n", ""},
        {"[application]\napp.mainclass=A\n", ""},
        {"[Application]]\napp.mainclass=A\n", ""},
        // An indented header is an (unrecognised) property line.
        {"[Application]\n [JavaOptions]\napp.mainclass=A\n", "[Application]\napp.mainclass=A\n"},
        // Properties before any header or under an unknown one are dropped.
        {"app.mainclass=A\n[Other]\napp.mainclass=B\n[Application]\napp.mainjar=C\n",
         "[Application]\napp.mainjar=C\n"},
        // Repeated values keep file order.
        {"[JavaOptions]\njava-options=b\njava-options=a\njava-options=\n",
         "[JavaOptions]\njava-options=b\njava-options=a\njava-options=\n"},
        // A recognised property under an unrelated section is stored there.
        {"[JavaOptions]\napp.mainclass=A\n", "[JavaOptions]\napp.mainclass=A\n"},
        // A section without a recognised property does not appear.
        {"[Application]\nfoo=bar\n[ArgOptions]\narguments=x\n", "[ArgOptions]\narguments=x\n"},
        // Sections and properties come back in name order, not file order.
        {"[JavaOptions]\njava-options=j\n[Application]\napp.version=1\napp.classpath=c\n"
         "[AppCDSJavaOptions]\njava-options=k\n",
         "[AppCDSJavaOptions]\njava-options=k\n[Application]\napp.classpath=c\napp.version=1\n"
         "[JavaOptions]\njava-options=j\n"},
        // A last line without a line feed still counts.
        {"[Application]\napp.mainclass=A", "[Application]\napp.mainclass=A\n"},
        // Carriage returns stay in values; headers still work.
        {"[Application]\r\napp.mainclass=A\r\n", "[Application]\napp.mainclass=A\r\n"},
        // A byte-order mark spoils the first header only.
        {"\xEF\xBB\xBF[Application]\napp.mainclass=A\n[JavaOptions]\njava-options=j\n",
         "[JavaOptions]\njava-options=j\n"},
        // Bytes are bytes: NUL and high bytes pass through.
        {bytes("[ArgOptions]\narguments=a\0b\xFF\n"), bytes("[ArgOptions]\narguments=a\0b\xFF\n")},
        {bytes("[ArgOptions]\narguments\0=x\n"), ""},
        // A ";" only comments at the start of a line.
        {"[ArgOptions]\narguments=a;b\n;arguments=c\n", "[ArgOptions]\narguments=a;b\n"},
        // Lines much longer than any read buffer, with the line feed falling anywhere.
        {"[ArgOptions]\narguments=" + big + "\narguments=" + big + "y",
         "[ArgOptions]\narguments=" + big + "\narguments=" + big + "y\n"},
        // A section met again is replaced as a whole.
        {"[JavaOptions]\njava-options=a\n[JavaOptions]\njava-options=b\n",
         "[JavaOptions]\njava-options=b\n"},
        // Values of one property never merge across two occurrences.
        {"[JavaOptions]\njava-options=a\njava-options=b\n[Application]\napp.mainclass=M\n"
         "[JavaOptions]\njava-options=c\n",
         "[Application]\napp.mainclass=M\n[JavaOptions]\njava-options=c\n"},
        // Properties missing from the later occurrence are gone too.
        {"[Application]\napp.mainclass=M\napp.mainjar=J\n[Application]\napp.mainjar=K\n",
         "[Application]\napp.mainjar=K\n"},
        // A later occurrence without a recognised property keeps the earlier content.
        {"[JavaOptions]\njava-options=a\n[JavaOptions]\nother=b\n",
         "[JavaOptions]\njava-options=a\n"},
        {"[JavaOptions]\njava-options=a\n[JavaOptions]\n", "[JavaOptions]\njava-options=a\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        EXPECT_EQ(c.want, dump(loadText(dir, c.input))) << c.input;
    }
}

TEST(CfgFileTest, Failures) {
    TempDir dir;
    const std::string cfg = dir / "app.cfg";
    const std::string missing = dir / "missing.cfg";
    const std::string subdir = dir / "dir.cfg";
    makeDirs(subdir);
    const struct {
        std::string content; // written to cfg unless empty
        std::string path;
        std::string want;
    } cases[] = {
        {"", missing, "Error opening \"" + missing + "\" file: No such file or directory"},
        {"", subdir, "Failed to read \"" + subdir + "\" file up to the end: Is a directory"},
        {"; one\n\n[Application", cfg,
         "Error parsing [" + cfg + "] file at 3: Missing ']' character"},
        {"[Application]\napp.mainclass=A\n[JavaOptions\r\n", cfg,
         "Error parsing [" + cfg + "] file at 3: Missing ']' character"},
        {"[", cfg, "Error parsing [" + cfg + "] file at 1: Missing ']' character"},
    };
    for (const auto& c : cases) {
        if (!c.content.empty()) {
            writeFile(cfg, c.content);
        }
        EXPECT_EQ(c.want, errorOf([&] { CfgFile::load(c.path); }, "CfgFile.cpp", "load"))
            << c.content;
    }
}

TEST(CfgFileTest, Accessors) {
    TempDir dir;
    CfgFile cfg = loadText(dir, "[Application]\napp.classpath=a\napp.classpath=\n"
                                "app.classpath=c\napp.mainclass=A\napp.mainclass=B\n");
    const CfgFile::PropertyMap& app = cfg.getProperties(SectionName::Application);
    EXPECT_EQ("a::c", CfgFile::asPathList(*app.find(PropertyName::classpath)));
    EXPECT_EQ("B", CfgFile::asString(*app.find(PropertyName::mainclass)));
    EXPECT_TRUE(cfg.getProperties(SectionName::ArgOptions).empty());

    cfg.setPropertyValue(SectionName::ArgOptions, PropertyName::arguments, {"x", "y"})
        .setPropertyValue(SectionName::Application, PropertyName::mainclass, {"C"});
    EXPECT_EQ("[Application]\napp.classpath=a\napp.classpath=\napp.classpath=c\n"
              "app.mainclass=C\n[ArgOptions]\narguments=x\narguments=y\n",
              dump(cfg));
}

TEST(CfgFileTest, ExpandMacros) {
    EnvGuard unsetVar("CFGTEST_UNSET");
    EnvGuard setVar("CFGTEST_SET", "env");
    EnvGuard emptyVar("CFGTEST_EMPTY", "");
    EnvGuard sameVar("APPDIR", "from-env");
    EnvGuard eqVar("CFGTEST_EQ", "env=1");
    const CfgFile::Macros macros = {{"APPDIR", "/opt/app"}, {"BINDIR", "/opt/bin"}};

    const struct {
        std::string value;
        std::string want;
    } cases[] = {
        {"$APPDIR/lib", "/opt/app/lib"},
        {"${BINDIR}:$CFGTEST_SET", "/opt/bin:env"},
        {"[$CFGTEST_EMPTY]", "[]"},
        {"$CFGTEST_UNSET/x", "$CFGTEST_UNSET/x"},
        {"${CFGTEST_UNSET}", "${CFGTEST_UNSET}"},
        // Names the environment cannot hold are never looked up there.
        {"${CFGTEST_EQ=env}", "${CFGTEST_EQ=env}"},
        {bytes("${CFGTEST_SET\0x}"), bytes("${CFGTEST_SET\0x}")},
        {"${}", "${}"},
        {"", ""},
    };
    TempDir dir;
    std::string input = "[ArgOptions]\n";
    std::string want = "[ArgOptions]\n";
    for (const auto& c : cases) {
        input += "arguments=" + c.value + "\n";
        want += "arguments=" + c.want + "\n";
    }
    const CfgFile cfg = loadText(dir, input);
    const std::string before = dump(cfg);
    NopLogAppender quiet;
    DefaultLoggerGuard guard(quiet);
    const CfgFile expanded = cfg.expandMacros(macros);
    EXPECT_EQ(want, dump(expanded));
    EXPECT_EQ(before, dump(cfg)); // the source is left alone
}

TEST(CfgFileTest, ExpandMacrosLogsEachChangeInTraversalOrder) {
    const struct {
        std::string input;
        CfgFile::Macros macros;
        Logger::LogLevel threshold;
        std::string want;
    } cases[] = {
        // File order differs from name order in sections, properties and nothing else.
        {"[JavaOptions]\njava-options=$A\n"
         "[Application]\napp.version=$A.v\napp.classpath=$A.c1\napp.classpath=same\n"
         "app.classpath=$A.c2\n"
         "[AppCDSJavaOptions]\njava-options=cds$A\n"
         "[AppCDSGenerateCacheJavaOptions]\njava-options=\\\\\n"
         "[ArgOptions]\narguments=$B\narguments=\n",
         {{"A", "1"}, {"B", "$A"}},
         Logger::TRACE,
         "Map [\\\\] into [\\]\nMap [cds$A] into [cds1]\nMap [$A.c1] into [1.c1]\n"
         "Map [$A.c2] into [1.c2]\nMap [$A.v] into [1.v]\nMap [$B] into [$A]\nMap [$A] into [1]\n"},
        // Nothing changes, nothing is logged.
        {"[Application]\napp.mainclass=a\\b$\n[ArgOptions]\narguments=\narguments=$1 ${x\n",
         {{"x", "X"}},
         Logger::TRACE,
         ""},
        {"[ArgOptions]\narguments=$A\n", {{"A", "1"}}, Logger::INFO, ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const CfgFile cfg = loadText(dir, c.input);
        RecordingAppender recorder;
        DefaultLoggerGuard guard(recorder, c.threshold);
        cfg.expandMacros(c.macros);
        EXPECT_EQ(c.want, messages(recorder.events)) << c.input;
        for (const LogEvent& e : recorder.events) {
            EXPECT_EQ("TRACE CfgFile.cpp operator()",
                      e.levelName + " " + e.fileName + " " + e.funcName);
        }
    }
}

} // namespace
