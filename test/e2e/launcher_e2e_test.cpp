// The built launcher started as a process of its own from bundles laid out in temporary
// directories, with the recording test double or the installed Java runtime as its launch
// library.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "LauncherRun.h"
#include "TestUtils.h"

namespace {

TEST_F(LauncherTest, WorkedExample) {
    layOut(kDemoCfg);
    const Outcome o = launch();
    EXPECT_EQ(0, o.status);
    EXPECT_EQ("", o.err);
    EXPECT_EQ("", o.out);

    const std::vector<std::vector<std::string>> want = {
        expectedRecord({exe, "-classpath", appDir + "/demo.jar", "-Xmx512m",
                        "-Dvorlane.app-path=" + exe, "demo.Main"},
                       (":" + appDir).c_str())};
    EXPECT_EQ(want, records());
}

TEST_F(LauncherTest, ProcessSerialNumberArgumentIsDropped) {
    layOut(kDemoCfg);
    EXPECT_EQ(0, launch({"-psn_0_1234567"}).status);
    ASSERT_EQ(1u, records().size());
    EXPECT_EQ("arg=demo.Main", records()[0].at(records()[0].size() - 5));
}

TEST_F(LauncherTest, CommandLineArgumentsReplaceConfiguredOnes) {
    layOut("[Application]\napp.mainclass=demo.Main\n"
           "[ArgOptions]\narguments=configured\narguments=$APPDIR\narguments=\n");
    const std::string appPath = "-Dvorlane.app-path=" + exe;
    const std::string dyld = ":" + appDir;
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> want;
    } cases[] = {
        {{}, {exe, appPath, "demo.Main", "configured", appDir, ""}},
        {{"one"}, {exe, appPath, "demo.Main", "one"}},
        {{"$APPDIR", "two words", "", "back\\slash\nnewline"},
         {exe, appPath, "demo.Main", "$APPDIR", "two words", "", "back\\slash\nnewline"}},
    };
    for (const auto& c : cases) {
        ::unlink(recordPath.c_str());
        const Outcome o = launch(c.args);
        EXPECT_EQ(0, o.status) << o.err;
        const std::vector<std::vector<std::string>> want = {expectedRecord(c.want, dyld.c_str())};
        EXPECT_EQ(want, records()) << c.args.size() << " arguments";
    }
}

TEST_F(LauncherTest, ExecutableNameWithDotNamesTheConfigurationFile) {
    layOut("[Application]\napp.mainclass=dotted.Main\n", FAKEJLI_PATH, false, "My.App");
    const std::string dotted = apps + "/My.App.app/Contents/MacOS/My.App";
    const Outcome o = run(dotted, {}, env);
    EXPECT_EQ(0, o.status) << o.err;
    ASSERT_EQ(1u, records().size());
    EXPECT_EQ("arg=dotted.Main", records()[0].at(4));
}

// The record packs the argument array right after the library path, whose length follows the
// bundle's name: eight lengths of name place it at every offset. The test double refuses an
// array that is not aligned for char*, as a runtime indexing it could fault on it.
TEST_F(LauncherTest, RuntimeGetsAnAlignedArgumentArrayWhateverTheName) {
    std::string name = "Demo";
    for (char digit = '1'; digit <= '8'; ++digit) {
        name += digit;
        layOut("[Application]\napp.mainclass=demo.Main\n", FAKEJLI_PATH, false, name);
        ::unlink(recordPath.c_str());
        const std::string named = apps + "/" + name + ".app/Contents/MacOS/" + name;
        const Outcome o = run(named, {}, env);
        EXPECT_EQ(0, o.status) << name;
        EXPECT_EQ("", o.err) << name;
        ASSERT_EQ(1u, records().size()) << name;
        EXPECT_EQ("arg=" + named, records()[0].at(2)) << name;
    }
}

TEST_F(LauncherTest, ExecutableStartedThroughSymbolicLink) {
    layOut(kDemoCfg);
    makeDirs(tmp / "bin");
    ASSERT_EQ(0, ::symlink(exe.c_str(), (tmp / "bin/demo").c_str()));
    const Outcome o = run(tmp / "bin/demo", {}, env);
    EXPECT_EQ(0, o.status) << o.err;
    ASSERT_EQ(1u, records().size());
    EXPECT_EQ("arg=" + exe, records()[0].at(2));
    EXPECT_EQ("arg=-classpath", records()[0].at(3));
    EXPECT_EQ("arg=" + appDir + "/demo.jar", records()[0].at(4));
}

// usr/local/bin/demo -> opt/bin/demo -> ../../Applications/Demo.app/Contents/MacOS/Demo: the
// relative target counts from its own link's directory, not from the first one's.
TEST_F(LauncherTest, ExecutableStartedThroughAChainOfLinks) {
    layOut(kDemoCfg);
    makeDirs(tmp / "usr/local/bin");
    makeDirs(tmp / "opt/bin");
    ASSERT_EQ(0, ::symlink((tmp / "opt/bin/demo").c_str(), (tmp / "usr/local/bin/demo").c_str()));
    ASSERT_EQ(0, ::symlink("../../Applications/Demo.app/Contents/MacOS/Demo",
                           (tmp / "opt/bin/demo").c_str()));
    const Outcome o = run(tmp / "usr/local/bin/demo", {}, env);
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ("", o.err);
    // The last target's ".." are resolved, as the system resolved them.
    ASSERT_EQ(1u, records().size());
    EXPECT_EQ("arg=" + exe, records()[0].at(2));
    EXPECT_EQ("arg=-Dvorlane.app-path=" + exe, records()[0].at(6));
    EXPECT_EQ("arg=demo.Main", records()[0].at(7));
}

// Started as ../MacOS/Demo from Contents/MacOS, the bundle is found through the resolved path;
// a path without "." or ".." keeps the form it was started by, here a link among its directories.
TEST_F(LauncherTest, ExecutablePathWithDotsIsResolvedAndOnlyThen) {
    layOut("[Application]\napp.mainclass=demo.Main\n"
           "[ArgOptions]\narguments=$APPDIR\narguments=$BINDIR\narguments=$ROOTDIR\n");
    ASSERT_EQ(0, ::symlink("Applications", (tmp / "Linked").c_str()));
    const std::string linked = tmp / "Linked/Demo.app/Contents/MacOS/Demo";
    const int macosDir = ::open((root + "/Contents/MacOS").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_LE(0, macosDir);
    const struct {
        std::string started;
        int cwdFd;
        std::string want; // the executable's path as the launcher hands it over
    } cases[] = {
        {"../MacOS/Demo", macosDir, exe},
        {"./Demo", macosDir, exe},
        {root + "/Contents/./MacOS/Demo", -1, exe},
        {linked, -1, linked},
    };
    for (const auto& c : cases) {
        ::unlink(recordPath.c_str());
        RunOptions options;
        options.cwdFd = c.cwdFd;
        const Outcome o = run(c.started, {}, env, options);
        EXPECT_EQ(0, o.status) << c.started << ": " << o.err;
        const std::string bundle = c.want.substr(0, c.want.size() - strlen("/Contents/MacOS/Demo"));
        const std::vector<std::vector<std::string>> want = {
            expectedRecord({c.want, "-Dvorlane.app-path=" + c.want, "demo.Main",
                            bundle + "/Contents/app", bundle + "/Contents/MacOS", bundle},
                           (":" + bundle + "/Contents/app").c_str())};
        EXPECT_EQ(want, records()) << c.started;
    }
    ::close(macosDir);
}

TEST_F(LauncherTest, UserConfigurationDirectory) {
    layOut(kDemoCfg);
    const std::string home = env["HOME"];
    const std::string userCfg = home + "/Library/Application Support/com.example.demo/Demo.cfg";
    writeFile(userCfg, "[Application]\napp.mainclass=user.Main\n");
    auto mainClass = [this]() {
        ::unlink(recordPath.c_str());
        const Outcome o = launch();
        EXPECT_EQ(0, o.status) << o.err;
        EXPECT_EQ("", o.err);
        const auto r = records();
        return r.size() == 1 ? r[0].at(r[0].size() - 5) : std::string("no single record");
    };

    // Without a package file the user's directory is not looked at.
    EXPECT_EQ("arg=demo.Main", mainClass());

    writeFile(appDir + "/.package", "com.example.demo\nignored second line\n");
    EXPECT_EQ("arg=user.Main", mainClass());

    // An empty package name: no user directory.
    writeFile(appDir + "/.package", "");
    EXPECT_EQ("arg=demo.Main", mainClass());

    // The package's user directory without the file: the bundle's own configuration.
    writeFile(appDir + "/.package", "com.example.other\n");
    EXPECT_EQ("arg=demo.Main", mainClass());

    // HOME empty or unset: no user directory, and the launch goes on.
    writeFile(appDir + "/.package", "com.example.demo");
    env["HOME"] = "";
    EXPECT_EQ("arg=demo.Main", mainClass());
    env.erase("HOME");
    EXPECT_EQ("arg=demo.Main", mainClass());
}

TEST_F(LauncherTest, UnsetHomeIsReportedOnlyWithDebugOutput) {
    layOut(kDemoCfg);
    writeFile(appDir + "/.package", "com.example.demo\n");
    env.erase("HOME");
    env["VORLANE_DEBUG"] = "true";
    const Outcome o = launch();
    EXPECT_EQ(0, o.status) << o.err;
    std::vector<std::string> errors;
    for (const std::string& line : lines(o.err)) {
        if (line.rfind("[ERROR]", 0) == 0) {
            errors.push_back(line);
        }
    }
    ASSERT_EQ(1u, errors.size()) << o.err;
    EXPECT_EQ("[ERROR] MacLauncher.cpp:", errors[0].substr(0, 24));
    EXPECT_NE(std::string::npos, errors[0].find("HOME")) << errors[0];
    EXPECT_EQ(1u, records().size());
}

TEST_F(LauncherTest, UnreadablePackageFileEndsTheLaunch) {
    layOut(kDemoCfg);
    const std::string package = appDir + "/.package";

    // A socket exists but cannot be opened, whoever asks.
    std::string reason;
    const int fd = bindSocketIn(appDir, ".package", reason);
    ASSERT_LE(0, fd) << reason;
    ::close(fd);
    // The system's reason differs between platforms (ENXIO here, EOPNOTSUPP on macOS).
    ASSERT_EQ(-1, ::open(package.c_str(), O_RDONLY));
    reason = std::strerror(errno);
    expectFailure("Error opening \"" + package + "\" file: " + reason, launch());
    EXPECT_TRUE(records().empty());

    if (::geteuid() != 0) { // root reads every file
        ::unlink(package.c_str());
        writeFile(package, "com.example.demo\n");
        ASSERT_EQ(0, ::chmod(package.c_str(), 0));
        expectFailure("Error opening \"" + package + "\" file: Permission denied", launch());
    }
}

TEST_F(LauncherTest, SecondLibraryLocation) {
    layOut(kDemoCfg, FAKEJLI_PATH, true);
    env["VORLANE_DEBUG"] = "true";
    const Outcome o = launch();
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ(1u, records().size());
    const std::string want =
        "jli lib: [" + root + "/Contents/runtime/Contents/Home/lib/jli/libjli.dylib]";
    const std::vector<std::string> errLines = lines(o.err);
    EXPECT_NE(errLines.end(), std::find(errLines.begin(), errLines.end(), want)) << o.err;
}

TEST_F(LauncherTest, ConfiguredRuntime) {
    const std::string plugin = root + "/Contents/PlugIns/jre";
    layOut("[Application]\napp.runtime=$ROOTDIR/Contents/PlugIns/jre\napp.mainclass=demo.Main\n",
           "");
    makeDirs(plugin + "/Contents/Home/lib");
    ASSERT_EQ(0, ::symlink(FAKEJLI_PATH, (plugin + "/Contents/Home/lib/libjli.dylib").c_str()));

    env["VORLANE_DEBUG"] = "true";
    const Outcome o = launch();
    EXPECT_EQ(0, o.status) << o.err;
    const std::vector<std::vector<std::string>> want = {
        expectedRecord({exe, "-Dvorlane.app-path=" + exe, "demo.Main"}, (":" + appDir).c_str())};
    EXPECT_EQ(want, records());
    EXPECT_NE(std::string::npos,
              o.err.find("\njli lib: [" + plugin + "/Contents/Home/lib/libjli.dylib]\n"))
        << o.err;

    // A configured runtime without a launch library: no fallback to the bundled one.
    ::unlink((plugin + "/Contents/Home/lib/libjli.dylib").c_str());
    makeDirs(root + "/Contents/runtime/Contents/Home/lib");
    ASSERT_EQ(0, ::symlink(FAKEJLI_PATH,
                           (root + "/Contents/runtime/Contents/Home/lib/libjli.dylib").c_str()));
    env.erase("VORLANE_DEBUG");
    expectFailure("Failed to find JVM in \"" + plugin + "\" directory.", launch());
}

TEST_F(LauncherTest, LibrarySearchPathVariable) {
    layOut("[Application]\napp.mainclass=demo.Main\n");
    const struct {
        const char* value; // null: unset
        std::string want;
    } cases[] = {
        {nullptr, ":" + appDir},
        {"", ":" + appDir},
        {"/opt/lib", "/opt/lib:" + appDir},
        {"APPDIR", appDir},
        {"/opt/lib:APPDIR:/usr/lib", "/opt/lib:" + appDir + ":/usr/lib"},
        {"APPDIR/", appDir + "/:" + appDir},
    };
    for (const auto& c : cases) {
        if (c.value) {
            std::string value = c.value;
            const size_t pos = value.find("APPDIR");
            if (pos != std::string::npos) {
                value.replace(pos, 6, appDir);
            }
            env["DYLD_LIBRARY_PATH"] = value;
        } else {
            env.erase("DYLD_LIBRARY_PATH");
        }
        ::unlink(recordPath.c_str());
        const Outcome o = launch();
        EXPECT_EQ(0, o.status) << o.err;
        const auto r = records();
        ASSERT_EQ(1u, r.size());
        EXPECT_EQ("env:DYLD_LIBRARY_PATH=" + c.want, r[0].at(r[0].size() - 2))
            << (c.value ? c.value : "(unset)");
    }
}

TEST_F(LauncherTest, DebugSwitch) {
    layOut(kDemoCfg);
    for (const char* off : {"", "TRUE", "1", "true ", "yes"}) {
        env["VORLANE_DEBUG"] = off;
        const Outcome o = launch();
        EXPECT_EQ(0, o.status) << off;
        EXPECT_EQ("", o.err) << "VORLANE_DEBUG=" << off;
    }

    env["VORLANE_DEBUG"] = "true";
    const Outcome o = launch();
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ("", o.out);
    const std::vector<std::string> errLines = lines(o.err);
    auto has = [&errLines](const std::string& want) {
        return std::find(errLines.begin(), errLines.end(), want) != errLines.end();
    };
    auto hasLogLine = [&errLines](const std::string& head, const std::string& message) {
        for (const std::string& line : errLines) {
            // "[TRACE] <file>:<line>: <message>"
            const size_t colon = line.find(": ", head.size());
            if (line.rfind(head, 0) == 0 && colon != std::string::npos &&
                line.substr(colon + 2) == message &&
                line.find_first_not_of("0123456789", head.size()) == colon) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(
        hasLogLine("[TRACE] AppLauncher.cpp:", "Launcher config file path: \"" + cfgPath + "\""))
        << o.err;
    EXPECT_TRUE(hasLogLine("[TRACE] AppLauncher.cpp:",
                           "Property \"app.runtime\" not found in \"Application\" section of "
                           "launcher config file. Using Java runtime from \"" +
                               root + "/Contents/runtime\" directory"))
        << o.err;
    EXPECT_TRUE(
        hasLogLine("[TRACE] CfgFile.cpp:", "Map [$APPDIR/demo.jar] into [" + appDir + "/demo.jar]"))
        << o.err;
    EXPECT_TRUE(has("jli lib: [" + root + "/Contents/runtime/Contents/Home/lib/libjli.dylib]"))
        << o.err;
    EXPECT_TRUE(has("jli arg[0]: [" + exe + "]")) << o.err;
    EXPECT_TRUE(has("jli arg[5]: [demo.Main]")) << o.err;
    EXPECT_TRUE(has("env var[0]: DYLD_LIBRARY_PATH=[:" + appDir + "]")) << o.err;
    for (const std::string& line : errLines) {
        EXPECT_TRUE(line.rfind("[TRACE] ", 0) == 0 || line.rfind("jli ", 0) == 0 ||
                    line.rfind("env var[", 0) == 0)
            << line;
    }
}

TEST_F(LauncherTest, FailuresOfTheRoad) {
    // No configuration file.
    layOut(kDemoCfg);
    ::unlink(cfgPath.c_str());
    expectFailure("Error opening \"" + cfgPath + "\" file: No such file or directory", launch());

    // A header without its closing bracket.
    writeFile(cfgPath, "; demo\n[Application]\n[JavaOptions\njava-options=-Xmx1g\n");
    expectFailure("Error parsing [" + cfgPath + "] file at 3: Missing ']' character", launch());

    // No runtime at all.
    layOut(kDemoCfg, "");
    expectFailure("Failed to find JVM in \"" + root + "/Contents/runtime\" directory.", launch());

    // A launch library that is no library.
    writeFile(tmp / "garbage.so", "not a library\n");
    layOut(kDemoCfg, tmp / "garbage.so");
    const std::string lib = root + "/Contents/runtime/Contents/Home/lib/libjli.dylib";
    expectFailureStartingWith("dlopen(" + lib + ") failed. Error: ", launch());

    // A library without the launch function.
    layOut(kDemoCfg, NOJLI_PATH);
    expectFailureStartingWith("dlsym(" + lib + ", JLI_Launch) failed. Error: ", launch());

    // The launch function reports failure.
    layOut(kDemoCfg);
    env["FAKEJLI_RESULT"] = "7";
    expectFailure("Failed to launch JVM", launch());
    EXPECT_EQ(1u, records().size());
}

TEST_F(LauncherTest, FailureWithDebugOutputShowsTheReportFirst) {
    layOut(kDemoCfg);
    env["FAKEJLI_RESULT"] = "3";
    env["VORLANE_DEBUG"] = "true";
    const Outcome o = launch();
    EXPECT_EQ(1, o.status);
    const std::vector<std::string> errLines = lines(o.err);
    // The one error report, then the bare message right after it.
    size_t reports = 0;
    for (size_t i = 0; i < errLines.size(); ++i) {
        const std::string& line = errLines[i];
        if (line.rfind("[ERROR] ", 0) == 0) {
            ++reports;
            EXPECT_EQ("[ERROR] app.cpp:", line.substr(0, 16)) << line;
            EXPECT_NE(std::string::npos, line.find(": Exception with message '")) << line;
            EXPECT_NE(std::string::npos, line.find("Failed to launch JVM' caught")) << line;
            ASSERT_LT(i + 1, errLines.size());
            EXPECT_EQ("Failed to launch JVM", errLines[i + 1]);
        }
    }
    EXPECT_EQ(1u, reports) << o.err;
}

TEST_F(LauncherTest, SecondEntryRepeatsTheHandOff) {
    layOut(kDemoCfg);
    env["FAKEJLI_REENTER"] = "1";
    env["VORLANE_DEBUG"] = "true";
    const Outcome o = launch({"x", "y"});
    EXPECT_EQ(0, o.status) << o.err;
    // The configuration is read once; the hand-off happens twice.
    size_t reads = 0;
    size_t handOffs = 0;
    for (const std::string& line : lines(o.err)) {
        reads += line.find(": Launcher config file path: ") != std::string::npos ? 1 : 0;
        handOffs += line.rfind("jli lib: [", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(1u, reads) << o.err;
    EXPECT_EQ(2u, handOffs) << o.err;
    const std::vector<std::string> one =
        expectedRecord({exe, "-classpath", appDir + "/demo.jar", "-Xmx512m",
                        "-Dvorlane.app-path=" + exe, "demo.Main", "x", "y"},
                       (":" + appDir).c_str());
    const std::vector<std::vector<std::string>> want = {one, one};
    EXPECT_EQ(want, records());
}

TEST_F(LauncherTest, SecondEntryFailure) {
    layOut(kDemoCfg);
    env["FAKEJLI_REENTER"] = "1";
    env["FAKEJLI_RESULT"] = "5";
    expectFailure("Failed to launch JVM", launch());
    EXPECT_EQ(2u, records().size());
}

// The installed Java runtime behind the bundle, and a small application compiled here.
class RealJavaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        javaHome = installedJavaHome();
        if (javaHome.empty()) {
            return;
        }
        classes.reset(new TempDir());
        const std::string src = *classes / "src/e2e/Show.java";
        writeFile(src, "package e2e;\n"
                       "public final class Show {\n"
                       "    public static void main(String[] args) {\n"
                       "        System.out.println(\"argc=\" + args.length);\n"
                       "        for (String a : args) System.out.println(\"arg=\" + a);\n"
                       "        System.out.println(\"app-path=\" + "
                       "System.getProperty(\"vorlane.app-path\"));\n"
                       "        System.out.println(\"appdir=\" + "
                       "System.getProperty(\"e2e.appdir\"));\n"
                       "        System.out.println(\"dyld=\" + "
                       "System.getenv(\"DYLD_LIBRARY_PATH\"));\n"
                       "    }\n"
                       "}\n");
        writeFile(*classes / "src/e2e/Fail.java",
                  "package e2e;\n"
                  "public final class Fail {\n"
                  "    public static void main(String[] args) {\n"
                  "        throw new IllegalStateException(\"broken on purpose\");\n"
                  "    }\n"
                  "}\n");
        ASSERT_EQ("", compileJar(javaHome, {src, *classes / "src/e2e/Fail.java"},
                                 *classes / "classes", *classes / "e2e.jar"));
    }

    static void TearDownTestSuite() { classes.reset(); }

    void SetUp() override {
        if (javaHome.empty()) {
            GTEST_SKIP() << "no Java runtime (JAVA_HOME or java on PATH)";
        }
        if (!classes) {
            GTEST_SKIP() << "the test application could not be compiled";
        }
    }

    std::string bundle(const std::string& mainClass) {
        writeFile(tmp / "Show.cfg", "[Application]\n"
                                    "app.classpath=$APPDIR/e2e.jar\n"
                                    "app.mainclass=" +
                                        mainClass +
                                        "\n"
                                        "[JavaOptions]\n"
                                        "java-options=-De2e.appdir=$APPDIR\n"
                                        "java-options=-Xmx64m\n"
                                        "[ArgOptions]\n"
                                        "arguments=configured\n");
        return makeBundle({"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", realPath(tmp.path()), "-c",
                           tmp / "Show.cfg", "-L", javaHome, *classes / "e2e.jar"});
    }

    TempDir tmp;
    static std::string javaHome;
    static std::unique_ptr<TempDir> classes;
};

std::string RealJavaTest::javaHome;
std::unique_ptr<TempDir> RealJavaTest::classes;

TEST_F(RealJavaTest, ApplicationSeesWhatTheLauncherHandsOver) {
    const std::string root = bundle("e2e.Show");
    ASSERT_FALSE(root.empty());
    const std::string exe = root + "/Contents/MacOS/Show";

    Env env = javaEnv();
    Outcome o = run(exe, {}, env);
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ("argc=1\n"
              "arg=configured\n"
              "app-path=" +
                  exe + "\nappdir=" + root + "/Contents/app\ndyld=:" + root + "/Contents/app\n",
              o.out);
    EXPECT_EQ("", o.err);

    env["DYLD_LIBRARY_PATH"] = "/opt/lib";
    o = run(exe, {"one", "two words", ""}, env);
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ("argc=3\narg=one\narg=two words\narg=\napp-path=" + exe + "\nappdir=" + root +
                  "/Contents/app\ndyld=/opt/lib:" + root + "/Contents/app\n",
              o.out);
}

TEST_F(RealJavaTest, ThrowingMainEndsWithStatusOne) {
    const std::string root = bundle("e2e.Fail");
    ASSERT_FALSE(root.empty());
    const Outcome o = run(root + "/Contents/MacOS/Show", {}, javaEnv());
    EXPECT_EQ(1, o.status) << o.err;
    const std::vector<std::string> errLines = lines(o.err);
    ASSERT_FALSE(errLines.empty());
    // The runtime prints the stack trace; the launcher's own line comes last.
    EXPECT_EQ("Failed to launch JVM", errLines.back()) << o.err;
    EXPECT_NE(std::string::npos, o.err.find("broken on purpose")) << o.err;
}

TEST_F(RealJavaTest, MissingMainClassEndsWithStatusOne) {
    // make-bundle refuses a bundle whose main class is missing: it is broken afterwards.
    const std::string root = bundle("e2e.Show");
    ASSERT_FALSE(root.empty());
    const std::string cfg = root + "/Contents/app/Show.cfg";
    writeFile(cfg, replaceAll(readFile(cfg), "e2e.Show", "e2e.Nowhere"));
    const Outcome o = run(root + "/Contents/MacOS/Show", {}, javaEnv());
    // The runtime reports this one itself and may end the process on its own.
    EXPECT_EQ(1, o.status) << o.err;
    EXPECT_NE(std::string::npos, o.err.find("e2e.Nowhere")) << o.err;
    EXPECT_EQ("", o.out);
}

} // namespace
