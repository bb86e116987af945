#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "BundleCheck.h"
#include "ErrorHandling.h"
#include "Log.h"
#include "LogTestUtils.h"
#include "ProcessUtils.h"
#include "Report.h"
#include "TestUtils.h"
#include "ZipTestUtils.h"

namespace {

// Demo.app in a fresh directory, with the recording test double as its launch library, checked
// in this process.
class BundleCheckTest : public ::testing::Test {
protected:
    struct Result {
        int status = 0;
        std::vector<std::string> findings; // "<line>: warning: <text>", the file name left out
        std::string report;
    };

    BundleCheckTest()
        : root(tmp / "Demo.app"), appDir(root + "/Contents/app"),
          launcher(root + "/Contents/MacOS/Demo") {
        writeFile(launcher, "");
        makeDirs(root + "/Contents/runtime/Contents/Home/lib");
        // A copy: a runtime that leads out of the bundle is a finding of its own.
        writeFile(root + "/Contents/runtime/Contents/Home/lib/libjli.dylib",
                  readFile(FAKEJLI_PATH));
    }

    // Checks the bundle with cfg as its configuration and files (relative to the application
    // directory) beside it; in the findings "@APPDIR@" stands for the application directory and
    // "@ROOT@" for the bundle.
    Result check(const std::string& cfg, const std::map<std::string, std::string>& files = {},
                 const std::vector<std::string>& args = {}, bool doubleClick = true) {
        writeFile(appDir + "/Demo.cfg", cfg);
        for (const auto& f : files) {
            writeFile(appDir + "/" + f.first, f.second);
        }
        Result r;
        BundleCheck::Options noTrial;
        noTrial.trial = false; // the runtime here is the recording stand-in
        noTrial.doubleClick = doubleClick;
        BundleCheck c(launcher, args, noTrial);
        try {
            c.run();
            r.status = c.hasErrors() ? 1 : c.diagnostics().empty() ? 0 : 2;
        } catch (const VorlaneErrorBase&) {
            r.status = 1;
        }
        std::ostringstream report;
        c.printReport(report);
        r.report = report.str();
        std::ostringstream out;
        Report::printDiagnostics(out, c);
        std::istringstream in(out.str());
        const std::string prefix = appDir + "/Demo.cfg:";
        for (std::string line; std::getline(in, line);) {
            EXPECT_EQ(0u, line.find(prefix)) << line;
            r.findings.push_back(replaceAll(
                replaceAll(line.substr(prefix.size()), appDir, "@APPDIR@"), root, "@ROOT@"));
        }
        return r;
    }

    NopLogAppender quiet;
    const DefaultLoggerGuard logger{quiet};
    TempDir tmp;
    const std::string root;
    const std::string appDir;
    const std::string launcher;
};

const std::string kApp = "[Application]\napp.classpath=$APPDIR/demo.jar\n";
const std::string kMain = "app.mainclass=demo.Main\n";

TEST_F(BundleCheckTest, MistakesThatBreakOrChangeTheLaunch) {
    const EnvGuard home("HOME", "/home/demo");
    const struct {
        std::string cfg;
        std::vector<std::string> want;
        int status;
    } cases[] = {
        // A section met again replaces the earlier one as a whole.
        {kApp + kMain + "[JavaOptions]\njava-options=-Xmx64m\n[Application]\n" + kMain,
         {"6: warning: [Application] again: the launcher keeps only the last of them, so the "
          "values of the one at line 1 are dropped; put them all in one section",
          "7: warning: there is no class path: the runtime looks for \"demo.Main\" in the working "
          "directory at launch (or along CLASSPATH), not in the bundle; add "
          "app.classpath=$APPDIR/<jar>"},
         2},
        {kApp + kMain + "[JavaOptions]\njava-options=\"-Dname=My App\"\n",
         {"5: warning: java-options value \"-Dname=My App\" is written in quotes, which reach the "
          "runtime as they are; write java-options=-Dname=My App (each value is one argument, "
          "blanks included)"},
         2},
        {kApp + kMain + "[JavaOptions]\njava-options=-Dname=\"My App\"\n",
         {"5: warning: the quotes in java-options value -Dname=\"My App\" reach the runtime as "
          "part of the value; write -Dname=My App (each value is one argument, blanks "
          "included)"},
         2},
        {kApp + kMain + "[JavaOptions]\njava-options=-Xmx64m -Dy=z\n",
         {"5: warning: java-options value \"-Xmx64m -Dy=z\" holds several options in one "
          "argument, which the runtime reads as one; write -Xmx64m and -Dy=z on java-options "
          "lines of their own"},
         2},
        {kApp + kMain + "[JavaOptions]\njava-options=--add-opens java.base/java.lang=ALL-UNNAMED\n",
         {"5: warning: java-options value \"--add-opens java.base/java.lang=ALL-UNNAMED\" is one "
          "argument, which the runtime reads as one option; write --add-opens and "
          "java.base/java.lang=ALL-UNNAMED on java-options lines of their own"},
         2},
        {kApp + kMain + "[JavaOptions]\njava-options=-verbose:gc -Dx=1\n",
         {"5: warning: java-options value \"-verbose:gc -Dx=1\" holds several options in one "
          "argument, which the runtime reads as one; write -verbose:gc and -Dx=1 on java-options "
          "lines of their own"},
         2},
        {kApp + kMain + "[JavaOptions]\njava-options=-Dx=y -Xmx1g\n",
         {"5: warning: java-options value \"-Dx=y -Xmx1g\" is one argument: the property gets the "
          "value \"y -Xmx1g\", blanks included; if \"-Xmx1g\" is meant for the runtime; write "
          "-Dx=y "
          "and -Xmx1g on java-options lines of their own"},
         2},
        {kApp + "app.mainclass=demo.Main \n",
         {"3: warning: blank at the end of the value of \"app.mainclass\": it is \"demo.Main \", "
          "blank included, as the runtime gets it; remove the blank"},
         2},
        {kApp + kMain + "[ArgOptions]\narguments=-Xmx1g\narguments=--verbose\n",
         {"5: warning: arguments value \"-Xmx1g\" goes to the application, not the runtime: "
          "arguments follow the main class; if the runtime should get it, write "
          "java-options=-Xmx1g in [JavaOptions]"},
         2},
        {"[Application]\napp.classpath=~/demo.jar\n" + kMain,
         {"2: warning: class path entry \"~/demo.jar\": \"~\" is not expanded (no shell reads the "
          "configuration); write $HOME/demo.jar"},
         2},
        // A reference left as written at the start of the only entry: nothing is there.
        {"[Application]\napp.classpath=$(HOME)/demo.jar\n" + kMain,
         {"2: warning: \"$(HOME)\" in app.classpath stays as written: only $NAME and ${NAME} are "
          "expanded; write ${HOME}"},
         2},
        {"[Application]\napp.classpath=$APPDIR/lib/*.jar\n" + kMain,
         {"2: warning: class path entry \"@APPDIR@/lib/*.jar\": the runtime expands \"*\" only as "
          "a whole last component, \"dir/*\" for all the jars in dir; write @APPDIR@/lib/*"},
         2},
        {kApp + "app.mainclass=demo/Main\n", {}, 0},
        {"[Application]\n" + kMain,
         {"2: warning: there is no class path: the runtime looks for \"demo.Main\" in the working "
          "directory at launch (or along CLASSPATH), not in the bundle; add "
          "app.classpath=$APPDIR/<jar>"},
         2},
        {"[Application]\napp.mainjar=$APPDIR/main.jar\n", {}, 0},
        {"[Application]\napp.classpath=$APPDIR/demo.jar;$APPDIR/lib/a.jar\n" + kMain,
         {"2: warning: class path entry \"@APPDIR@/demo.jar;@APPDIR@/lib/a.jar\" does not exist "
          "(entries are separated by \":\", not \";\")"},
         2},
        {kApp + kMain + "[ArgOptions]\narguments=\"two words\"\n",
         {"5: warning: arguments value \"\"two words\"\": the quotes reach the application as they "
          "are; write arguments=two words (each value is one argument, blanks included)"},
         2},
        {kApp + kMain +
             "[JavaOptions]\njava-options=-javaagent:$APPDIR/demo.jar\n"
             "java-options=-javaagent:$APPDIR/demo.jar\n",
         {"6: warning: \"-javaagent:@APPDIR@/demo.jar\" is given again (line 5): the runtime "
          "starts the agent once for each, so it runs twice; drop one of the lines"},
         2},
        // Library paths, and what a double-click reads for a relative path by its meaning.
        {kApp + kMain + "[JavaOptions]\njava-options=-Djava.library.path=$APPDIR/arm:$APPDIR/lib\n",
         {"5: warning: native library \"@APPDIR@/arm/libx.so\" is an ELF file for arm64, but "
          "the launcher is an ELF file for x86_64: it cannot be loaded, and the application "
          "fails with UnsatisfiedLinkError at its first use",
          "5: error: library path entry \"@APPDIR@/arm\" holds no library that the launcher can "
          "load",
          "5: warning: library path entry \"@APPDIR@/lib\" holds no native library "
          "(lib<name>.so): System.loadLibrary finds none there"},
         1},
        {kApp + kMain +
             "[JavaOptions]\njava-options=-XX:ErrorFile=hs_err.log\n"
             "java-options=-Duser.timezone=Europe/Berlin\njava-options=-Dlog=logs/a.log\n",
         {"5: warning: file \"hs_err.log\" is relative: a double-click starts the launcher in "
          "\"/\", so it reads \"/hs_err.log\", not a file of the bundle; start it with $APPDIR/ "
          "or $HOME/",
          "7: warning: file \"logs/a.log\" is relative: a double-click starts the launcher in "
          "\"/\", so it reads \"/logs/a.log\", not a file of the bundle; start it with $APPDIR/ "
          "or $HOME/"},
         2},
        // What depends on the working directory leaves the answer open.
        {"[Application]\napp.classpath=$APPDIR/broken.jar\n" + kMain,
         {"2: error: class path entry \"@APPDIR@/broken.jar\" is no jar or zip file (a Git LFS "
          "pointer or a saved web page may have taken its place): the runtime passes over it "
          "without a word, and its classes are missing at their first use"},
         1},
        {"[Application]\napp.classpath=demo.jar\n" + kMain,
         {"2: warning: class path entry \"demo.jar\" is relative: a double-click starts the "
          "launcher in \"/\", so it reads \"/demo.jar\", not a file of the bundle; start it with "
          "$APPDIR/"},
         2},
        {"[Application]\r\n\r\napp.classpath=$APPDIR/demo.jar\r\n",
         {"1: warning: CR LF line endings: every value keeps a carriage return at its end; save "
          "the file with LF line endings",
          "1: warning: no app.mainclass, app.mainjar or app.mainmodule in [Application]: the "
          "runtime takes the first argument as the main class",
          "3: warning: class path entry \"@APPDIR@/demo.jar\\r\" does not exist"},
         2},
        // Syntaxes of shells, batch files and other launchers, and comments inside values.
        {kApp + kMain +
             "[JavaOptions]\njava-options=-Dlog=%APPDATA%/log\njava-options=-Dhome=%~dp0\n"
             "[ArgOptions]\narguments=$@\n",
         {"5: warning: \"%APPDATA%\" in java-options stays as written: only $NAME and ${NAME} are "
          "expanded; write ${APPDATA}",
          "6: warning: \"%~dp0\" in java-options stays as written: it is a batch file's own "
          "directory; write $APPDIR/ (or $BINDIR/)",
          "8: warning: \"$@\" in arguments stays as written: no shell reads the configuration; "
          "the arguments the launcher is started with replace the configured ones without it"},
         2},
        {kApp + kMain + "[JavaOptions]\njava-options=-Xmx512m # the heap\n",
         {"5: warning: \"# the heap\" after the value of java-options is an inline comment, which "
          "the launcher keeps as part of the value: the runtime gets \"-Xmx512m # the heap\"; end "
          "the value at \"-Xmx512m\" and move the comment to a line of its own that starts with "
          "\";\""},
         2},
        {kApp + kMain + "[JavaOptions]\njava-options=-splash:$APPDIR/splash.png\n",
         {"5: warning: splash screen \"@APPDIR@/splash.png\" does not exist"},
         2},
        {"[Application]\napp.classpath=$APP_HOME/demo.jar\n" + kMain,
         {"2: warning: \"$APP_HOME\" in app.classpath stays as written: there is no macro or "
          "environment variable \"APP_HOME\""},
         2},
        {"; the application\n[Application]\n",
         {"2: warning: no app.mainclass, app.mainjar or app.mainmodule in [Application]: the "
          "runtime takes the first argument as the main class"},
         2},
        // Configurations that launch as written.
        {"[Application]\napp.classpath=$APPDIR/lib/*\n" + kMain, {}, 0},
        {kApp + kMain + "[JavaOptions]\njava-options=-Dviewer.command=open -a TextEdit\n", {}, 0},
        {kApp + kMain + "[JavaOptions]\njava-options=-Dliteral=\\$APPDIR\n", {}, 0},
        {"[Application]\n" + kMain +
             "[JavaOptions]\njava-options=-cp\njava-options=$APPDIR/demo.jar\n",
         {},
         0},
        {kApp + kMain + "[JavaOptions]\njava-options=-Dhome=$HOME\n", {}, 0},
        {kApp + kMain + "[JavaOptions]\njava-options=-Dname=My App\n[ArgOptions]\n", {}, 0},
        {kApp + kMain + "[JavaOptions]\njava-options=-XX:OnOutOfMemoryError=kill -9 %p\n", {}, 0},
    };
    const std::string classes = makeZip({storedEntry("demo/Main.class", "")});
    const std::map<std::string, std::string> files = {
        {"demo.jar", classes},
        {"lib/a.jar", classes},
        {"mods/m.jar", ""},
        {"main.jar", makeZip({storedEntry("META-INF/MANIFEST.MF",
                                          "Manifest-Version: 1.0\r\nMain-Class: demo.Main\r\n\r\n"),
                              storedEntry("demo/Main.class", "")})},
        {"broken.jar", "not a zip"},
        {"arm/libx.so", std::string("\x7f"
                                    "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0\xb7\0",
                                    20)},
    };
    for (const auto& c : cases) {
        const Result r = check(c.cfg, files);
        EXPECT_EQ(c.want, r.findings) << c.cfg << r.report;
        EXPECT_EQ(c.status, r.status) << c.cfg;
    }
}

TEST_F(BundleCheckTest, FilesReadFromOutsideTheBundleAreNamed) {
    const EnvGuard home("HOME", "/home/demo");
    const EnvGuard tmpDir("TMPDIR", appDir);
    const std::string elsewhere = realPath(tmp.path()) + "/elsewhere";
    const std::string manifest =
        "Class-Path: ../../../elsewhere/b.jar " + elsewhere + "/c.jar missing.jar\n";
    writeFile(elsewhere + "/b.jar", makeZip({storedEntry("META-INF/MANIFEST.MF", manifest),
                                             storedEntry("b/B.class", "")}));
    writeFile(elsewhere + "/c.jar", "");
    writeFile(elsewhere + "/conf", "");
    const Result r = check(
        "[Application]\napp.classpath=$APPDIR/demo.jar:" + elsewhere + "/b.jar\n" + kMain +
            "[JavaOptions]\njava-options=-Dc=" + elsewhere +
            "/conf\njava-options=-Dt=$APPDIR/x.jar:/tmp\n",
        {{"demo.jar", makeZip({storedEntry("META-INF/MANIFEST.MF", manifest)})}, {"x.jar", ""}});
    const std::string tail = " is read from outside the bundle: a Mac without this file fails or "
                             "behaves differently; copy it into the bundle";
    const std::string named = ", which the manifest Class-Path of \"";
    EXPECT_EQ(std::vector<std::string>({"2: warning: \"" + elsewhere + "/b.jar\"" + named +
                                            "@APPDIR@/demo.jar\" names," + tail,
                                        "2: warning: \"" + elsewhere + "/c.jar\"" + named +
                                            elsewhere + "/b.jar\" names," + tail,
                                        "5: warning: file \"" + elsewhere + "/conf\"" + tail,
                                        "6: warning: file \"/tmp\"" + tail}),
              r.findings);

    // A copy with the same bytes on the class path stands in for the jar outside, wherever it
    // comes; one with other bytes does not.
    const std::string lib = makeZip({storedEntry("l/L.class", "")});
    writeFile(elsewhere + "/lib.jar", lib);
    const std::vector<std::string> warned = {"2: warning: class path entry \"" + elsewhere +
                                             "/lib.jar\"" + tail};
    for (const auto& c :
         std::vector<std::tuple<std::string, std::string, std::vector<std::string>>>{
             {"$APPDIR/lib.jar:" + elsewhere + "/lib.jar", lib, {}},
             {elsewhere + "/lib.jar:$APPDIR/lib.jar", lib, {}},
             {elsewhere + "/lib.jar:$APPDIR/lib.jar", makeZip({}), warned}}) {
        EXPECT_EQ(std::get<2>(c),
                  check("[Application]\napp.classpath=" + std::get<0>(c) + "\n" + kMain,
                        {{"lib.jar", std::get<1>(c)}})
                      .findings)
            << std::get<0>(c);
    }
}

// What a double-click lacks of the shell's start: its variables and its working directory.
TEST_F(BundleCheckTest, DoubleClickAgainstTheShell) {
    const EnvGuard lib("CHECK_SHELL_LIB", appDir);
    writeFile(appDir + "/demo.jar", makeZip({}));
    const EnvGuard heap("CHECK_SHELL_HEAP", "1g");
    const std::string cfg = "[Application]\napp.classpath=$CHECK_SHELL_LIB/demo.jar\n"
                            "app.classpath=lib/a.jar\n" +
                            kMain + "[JavaOptions]\njava-options=-Xmx$CHECK_SHELL_HEAP\n";
    const std::string lacks = " stays as written when the bundle is double-clicked: ";
    const std::string why = " is set in this shell, but a double-click starts the launcher with "
                            "launchd's environment; give it in Info.plist's LSEnvironment "
                            "(make-bundle -p) or write the value with a macro such as $APPDIR";
    const std::vector<std::string> doubleClick = {
        "2: error: \"$CHECK_SHELL_LIB\" in app.classpath" + lacks + "\"CHECK_SHELL_LIB\"" + why,
        "3: warning: class path entry \"lib/a.jar\" is relative: a double-click starts the "
        "launcher in \"/\", so it reads \"/lib/a.jar\", not a file of the bundle; start it with "
        "$APPDIR/",
        "6: warning: \"$CHECK_SHELL_HEAP\" in java-options" + lacks + "\"CHECK_SHELL_HEAP\"" + why};
    EXPECT_EQ(doubleClick, check(cfg).findings);
    const std::vector<std::string> typed = {
        "3: warning: class path entry \"lib/a.jar\" is relative: it is resolved against the "
        "working directory at launch, not the bundle; start it with $APPDIR/"};
    EXPECT_EQ(typed, check(cfg, {}, {}, false).findings);

    // LSEnvironment gives the double-click what the shell has.
    writeFile(root + "/Contents/Info.plist",
              "<plist version=\"1.0\"><dict><key>LSEnvironment</key><dict>"
              "<key>CHECK_SHELL_LIB</key><string>" +
                  appDir +
                  "</string>"
                  "<key>CHECK_SHELL_HEAP</key><string>2g</string></dict></dict></plist>");
    // Where the two differ, both values are named.
    EXPECT_EQ(std::vector<std::string>({doubleClick[1],
                                        "6: warning: \"$CHECK_SHELL_HEAP\" in java-options is "
                                        "\"2g\" when the bundle is double-clicked, but \"1g\" in "
                                        "this shell; to give the shell's value on a double-click, "
                                        "set it in Info.plist's LSEnvironment (make-bundle -p)"}),
              check(cfg).findings);
}

} // namespace
