#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "JarManifest.h"
#include "ProcessUtils.h"
#include "TestUtils.h"
#include "ZipFile.h"
#include "ZipTestUtils.h"

namespace {

const char* const kNone = "<none>";

// What the runtime makes of a manifest, as the probe below prints it.
struct Reading {
    std::string status; // "ok" or "error"
    std::string mainClass;
    std::string classPath;
    std::string moduleName;
};

std::string field(const JarManifest& m, const std::string& name) {
    return m.has(name) ? "[" + m.value(name) + "]" : kNone;
}

std::string line(const std::string& name, size_t length, const std::string& end) {
    std::string text = name + ": ";
    return text + std::string(length - text.size() - end.size(), 'x') + end;
}

const struct ManifestCase {
    const char* what;
    std::string text;
    Reading want;
    std::string error = std::string(); // what parse() says for "error"
} kCases[] = {
    {"plain", "Manifest-Version: 1.0\nMain-Class: a.Main\n", {"ok", "[a.Main]", kNone, kNone}},
    {"names in any case, CR LF, a continued value",
     "main-class: a.Main\r\nclass-path: lib/a.jar li\r\n b/b.jar\r\n",
     {"ok", "[a.Main]", "[lib/a.jar lib/b.jar]", kNone}},
    {"CR line ends", "Main-Class: a.Main\rClass-Path: x y\r", {"ok", "[a.Main]", "[x y]", kNone}},
    {"a value continued twice", "Class-Path: a\n  b\n c\n", {"ok", kNone, "[a bc]", kNone}},
    {"the blanks of a value", "Main-Class:  a.Main \n", {"ok", "[ a.Main ]", kNone, kNone}},
    {"an empty value", "Main-Class: \n", {"ok", "[]", kNone, kNone}},
    {"the later of two", "Main-Class: a.One\nMain-Class: a.Two\n", {"ok", "[a.Two]", kNone, kNone}},
    {"a last line without its end is dropped",
     "Class-Path: x\nMain-Class: a.Main",
     {"ok", kNone, "[x]", kNone}},
    {"so is a value continued on it", "Main-Class: a.\n Main", {"ok", kNone, kNone, kNone}},
    {"nothing", "", {"ok", kNone, kNone, kNone}},
    {"the main section ends at the first empty line",
     "Class-Path: a.jar\n\nName: x\nMain-Class: b.Main\n",
     {"ok", kNone, "[a.jar]", kNone}},
    {"sections after any number of empty lines",
     "Automatic-Module-Name: com.x\n\n\nname: x\nA: b\n \n\n\nNAME: y\n z\nB: c\n\n",
     {"ok", kNone, kNone, "[com.x]"}},
    {"a name of 70 bytes",
     std::string(70, 'N') + ": x\nMain-Class: a\n",
     {"ok", "[a]", kNone, kNone}},
    {"a line of 512 bytes",
     line("Main-Class", 512, "\n"),
     {"ok", "[" + std::string(499, 'x') + "]", kNone, kNone}},
    {"a CR LF line whose CR is byte 512",
     line("Main-Class", 513, "\r\n"),
     {"ok", "[" + std::string(499, 'x') + "]", kNone, kNone}},
    {"an unended last line of 511 bytes",
     "Main-Class: a\n" + line("X", 511, ""),
     {"ok", "[a]", kNone, kNone}},

    {"no blank after the colon",
     "Main-Class:a.Main\n",
     {"error", "", "", ""},
     "line 1: not a \"Name: value\" line"},
    {"no colon",
     "Main-Class: a\nClass-Path\n",
     {"error", "", "", ""},
     "line 2: not a \"Name: value\" line"},
    {"a continuation first",
     " x\nMain-Class: a\n",
     {"error", "", "", ""},
     "line 1: continuation line without an attribute"},
    {"a blank in a name",
     "Main Class: a\n",
     {"error", "", "", ""},
     "line 1: invalid attribute name \"Main Class\""},
    {"an empty name", ": a\n", {"error", "", "", ""}, "line 1: invalid attribute name \"\""},
    {"a name of 71 bytes",
     std::string(71, 'N') + ": x\n",
     {"error", "", "", ""},
     "line 1: invalid attribute name \"" + std::string(71, 'N') + "\""},
    {"a line of 513 bytes",
     line("Main-Class", 513, "\n"),
     {"error", "", "", ""},
     "line 1: line too long"},
    {"an unended last line of 512 bytes",
     "Main-Class: a\n" + line("X", 512, ""),
     {"error", "", "", ""},
     "line 2: line too long"},
    // The LF of a CR LF that does not fit the line buffer is read as an empty line.
    {"a CR LF line whose LF is byte 513",
     line("Main-Class", 513, "\r\n") + "Class-Path: x\n",
     {"error", "", "", ""},
     "line 3: a section that does not start with Name:"},
    {"CR CR LF",
     "Main-Class: a\r\r\nX: y\n",
     {"error", "", "", ""},
     "line 3: a section that does not start with Name:"},
    {"an empty first line",
     "\nMain-Class: a\n",
     {"error", "", "", ""},
     "line 2: a section that does not start with Name:"},
    {"a section without Name:",
     "Main-Class: a\n\nfoo: bar\n",
     {"error", "", "", ""},
     "line 3: a section that does not start with Name:"},
    {"Name: without its blank",
     "Main-Class: a\n\nName:x\n",
     {"error", "", "", ""},
     "line 3: a section that does not start with Name:"},
    {"a bad line in a later section",
     "Main-Class: a\n\nName: x\nfoo bar\n",
     {"error", "", "", ""},
     "line 4: not a \"Name: value\" line"},
    {"a long line in a later section",
     "Main-Class: a\n\nName: x\n" + line("Y", 600, "\n"),
     {"error", "", "", ""},
     "line 4: line too long"},
};

TEST(JarManifestTest, ReadsMainAttributesAsTheRuntimeDoes) {
    for (const ManifestCase& c : kCases) {
        JarManifest m;
        const bool ok = m.parse(c.text);
        EXPECT_EQ(c.want.status == "ok", ok) << c.what;
        EXPECT_EQ(c.error, m.error()) << c.what;
        if (ok) {
            EXPECT_EQ(c.want.mainClass, field(m, "Main-Class")) << c.what;
            EXPECT_EQ(c.want.classPath, field(m, "Class-Path")) << c.what;
            EXPECT_EQ(c.want.moduleName, field(m, "Automatic-Module-Name")) << c.what;
        } else {
            EXPECT_FALSE(m.has("Main-Class")) << c.what;
        }
    }
}

// The table above is what the installed runtime makes of each text.
TEST(JarManifestTest, TheRuntimeAgrees) {
    const std::string javaHome = installedJavaHome();
    if (javaHome.empty()) {
        GTEST_SKIP() << "no JDK (JAVA_HOME or java on PATH)";
    }
    TempDir tmp;
    writeFile(tmp / "ManifestProbe.java", R"(
import java.io.*;
import java.nio.file.*;
import java.util.jar.*;

public class ManifestProbe {
    static String field(Attributes a, String name) {
        String v = a.getValue(name);
        return v == null ? "<none>" : "[" + v + "]";
    }
    public static void main(String[] args) throws Exception {
        for (String f : args) {
            try (InputStream in = Files.newInputStream(Path.of(f))) {
                Attributes a = new Manifest(in).getMainAttributes();
                System.out.println("ok\t" + field(a, "Main-Class") + "\t" + field(a, "Class-Path")
                    + "\t" + field(a, "Automatic-Module-Name"));
            } catch (IOException e) {
                System.out.println("error\t\t\t");
            }
        }
    }
}
)");
    std::vector<std::string> args = {tmp / "ManifestProbe.java"};
    for (size_t i = 0; i != sizeof kCases / sizeof kCases[0]; ++i) {
        args.push_back(tmp / ("m" + std::to_string(i)));
        writeFile(args.back(), kCases[i].text);
    }
    const Outcome probe = run(javaHome + "/bin/java", args, baseEnv());
    ASSERT_EQ(0, probe.status) << probe.err;
    std::vector<std::string> lines;
    std::istringstream out(probe.out);
    for (std::string line; std::getline(out, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(sizeof kCases / sizeof kCases[0], lines.size()) << probe.out;
    for (size_t i = 0; i != lines.size(); ++i) {
        const Reading& w = kCases[i].want;
        EXPECT_EQ(w.status + "\t" + w.mainClass + "\t" + w.classPath + "\t" + w.moduleName,
                  lines[i])
            << kCases[i].what;
    }
}

TEST(JarManifestTest, Accessors) {
    JarManifest m;
    ASSERT_TRUE(m.parse("MAIN-CLASS: a.Main\nclass-path: a.jar  b%20c.jar\n  d.jar\n"
                        "Multi-Release: TRUE\nAutomatic-Module-Name: com.x\n"));
    EXPECT_EQ("a.Main", m.mainClass());
    EXPECT_EQ(std::vector<std::string>({"a.jar", "b%20c.jar", "d.jar"}), m.classPath());
    EXPECT_TRUE(m.multiRelease());
    EXPECT_EQ("com.x", m.value("Automatic-Module-Name"));
    EXPECT_EQ("", m.value("Missing"));
    EXPECT_FALSE(m.has("Missing"));
    ASSERT_TRUE(m.parse("Multi-Release: yes\n"));
    EXPECT_FALSE(m.multiRelease());
    EXPECT_TRUE(m.classPath().empty());
    EXPECT_EQ("", m.mainClass());
}

TEST(JarManifestTest, ReadFromAJar) {
    ZipEntrySpec damaged = deflatedEntry("META-INF/MANIFEST.MF", "Main-Class: a.Main\n");
    damaged.crc ^= 1;
    const struct {
        const char* what;
        std::string zip;
        JarManifest::Status status;
        std::string mainClass;
    } cases[] = {
        {"valid", makeZip({deflatedEntry("META-INF/MANIFEST.MF", "Main-Class: a.Main\n")}),
         JarManifest::Status::Valid, "a.Main"},
        {"none", makeZip({storedEntry("a.class", "x")}), JarManifest::Status::Absent, ""},
        // The launcher looks the manifest up by its exact name.
        {"another case", makeZip({storedEntry("meta-inf/manifest.mf", "Main-Class: a.Main\n")}),
         JarManifest::Status::Absent, ""},
        {"refused", makeZip({storedEntry("META-INF/MANIFEST.MF", "Main-Class:a.Main\n")}),
         JarManifest::Status::Invalid, ""},
        {"damaged", makeZip({damaged}), JarManifest::Status::Unreadable, ""},
        {"too large",
         makeZip({storedEntry("META-INF/MANIFEST.MF",
                              "Main-Class: a.Main\n" + std::string(JarManifest::kMaxSize, '\n'))}),
         JarManifest::Status::Unreadable, ""},
    };
    for (const auto& c : cases) {
        ZipFile zip;
        ASSERT_TRUE(zip.openBytes(c.zip)) << c.what;
        JarManifest m;
        EXPECT_TRUE(c.status == m.readFrom(zip)) << c.what;
        EXPECT_EQ(c.mainClass, m.mainClass()) << c.what;
    }
}

} // namespace
