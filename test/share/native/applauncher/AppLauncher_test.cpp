#include "AppLauncher.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "LogTestUtils.h"
#include "SysInfo.h"
#include "TestUtils.h"
#include "UnitTestUtils.h"

namespace {

// Messages of the records that func logged.
std::vector<std::string> messagesOf(const RecordingAppender& log, const std::string& func) {
    std::vector<std::string> result;
    for (const LogEvent& e : log.events) {
        if (e.funcName == func) {
            result.push_back(e.message);
        }
    }
    return result;
}

// The configuration file name follows the running executable: here the test binary.
std::string cfgFileName() {
    return FileUtils::basename(SysInfo::getProcessModulePath()) + ".cfg";
}

// A bundle-like tree: an application directory with the configuration, and a runtime with
// a launch library at the first of the two usual places.
class AppLauncherTest : public ::testing::Test {
protected:
    AppLauncherTest()
        : args({"program"}), appDir(tmp / "app"), runtimeDir(tmp / "runtime"),
          libEnv("LAUNCHER_TEST_LIB_PATH") {}

    // A launcher configured the way the start-up code does it, for the running executable and
    // its arguments.
    AppLauncher makeLauncher() const {
        AppLauncher launcher(SysInfo::getProcessModulePath(),
                             SysInfo::getCommandArgs(SysInfo::ExcludeProgramName));
        launcher.setRootDir(tmp.path())
            .addJvmLibName("Home/lib/libjli.dylib")
            .addJvmLibName("Home/lib/jli/libjli.dylib")
            .setAppDir(appDir)
            .setLibEnvVariableName("LAUNCHER_TEST_LIB_PATH")
            .setDefaultRuntimeDir(runtimeDir);
        return launcher;
    }

    void writeCfg(const std::string& content) const {
        writeFile(FileUtils::combinePath(appDir, cfgFileName()), content);
    }

    RecordingAppender log;
    DefaultLoggerGuard logGuard{log}; // also keeps the trace off the test's output
    TempDir tmp;
    ArgvGuard args;
    const std::string appDir;
    const std::string runtimeDir;
    EnvGuard libEnv;
};

TEST_F(AppLauncherTest, UserDirsAreCheckedInOrderAndFirstHitWins) {
    const std::string name = cfgFileName();
    writeFile(tmp / ("user2/" + name), "");
    writeFile(tmp / ("user3/" + name), "");
    const std::string check1 = "Check [" + tmp / ("user1/" + name) + "] file exit";
    const std::string check2 = "Check [" + tmp / ("user2/" + name) + "] file exit";
    const struct {
        std::vector<std::string> userDirs;
        std::string want;
        std::vector<std::string> wantChecks;
    } cases[] = {
        // The application's file is not even checked: the loader reports a missing one.
        {{}, appDir + "/" + name, {}},
        {{"user1"}, appDir + "/" + name, {check1}},
        {{"user1", "user2", "user3"}, tmp / ("user2/" + name), {check1, check2}},
    };
    for (const auto& c : cases) {
        log.events.clear();
        AppLauncher launcher = makeLauncher();
        for (const std::string& dir : c.userDirs) {
            launcher.addCfgFileDir(tmp / dir);
        }
        EXPECT_EQ(c.want, launcher.getCfgFilePath()) << c.userDirs.size();
        EXPECT_EQ(c.wantChecks, messagesOf(log, "getCfgFilePath")) << c.userDirs.size();
    }
    ASSERT_FALSE(log.events.empty());
    EXPECT_EQ("TRACE", log.events[0].levelName);
    EXPECT_EQ("AppLauncher.cpp", log.events[0].fileName);
}

TEST_F(AppLauncherTest, LibEnvVariableContainsAppDirOnlyAsExactEntry) {
    const struct {
        const char* value; // null: unset
        bool want;
    } cases[] = {
        {nullptr, false},           {"", false},
        {"APPDIR", true},           {"/usr/lib:APPDIR", true},
        {"APPDIR:/usr/lib", true},  {":APPDIR:", true},
        {"APPDIR/", false},         {"/usr/lib", false},
        {"APPDIRx:xAPPDIR", false}, {"/usr/lib::", false},
    };
    const AppLauncher launcher = makeLauncher();
    for (const auto& c : cases) {
        std::string value = c.value ? c.value : "";
        for (size_t pos; (pos = value.find("APPDIR")) != std::string::npos;) {
            value.replace(pos, 6, appDir);
        }
        std::unique_ptr<EnvGuard> guard(c.value ? new EnvGuard("LAUNCHER_TEST_LIB_PATH", value)
                                                : new EnvGuard("LAUNCHER_TEST_LIB_PATH"));
        EXPECT_EQ(c.want, launcher.libEnvVariableContainsAppDir()) << (c.value ? value : "(unset)");
    }
}

// Steps over one tree: each adds its libraries, then writes its configuration (null: none).
TEST_F(AppLauncherTest, LaunchLibraryLocationsAndFailures) {
    const std::string lib = "/Home/lib/libjli.dylib";
    const std::string jliLib = "/Home/lib/jli/libjli.dylib";
    const std::string other = tmp / "other runtime";
    const char* configured = "[Application]\napp.runtime=/nowhere\n"
                             "app.runtime=$ROOTDIR/other runtime\n";
    const struct {
        std::vector<std::string> addLibs;
        const char* cfg;
        std::string want;
        const char* failingFunc; // null: no failure
        size_t wantDefaultTraces;
    } steps[] = {
        {{},
         nullptr,
         "Error opening \"" + appDir + "/" + cfgFileName() + "\" file: No such file or directory",
         "load",
         0},
        {{}, "", "Failed to find JVM in \"" + runtimeDir + "\" directory.", "findJvmLib", 1},
        {{runtimeDir + jliLib}, "", runtimeDir + jliLib, nullptr, 1},
        {{runtimeDir + lib}, "", runtimeDir + lib, nullptr, 1},
        // The last configured runtime counts, without falling back to the default one.
        {{}, configured, "Failed to find JVM in \"" + other + "\" directory.", "findJvmLib", 0},
        {{other + jliLib}, configured, other + jliLib, nullptr, 0},
    };
    for (const auto& s : steps) {
        for (const std::string& path : s.addLibs) {
            writeFile(path, "");
        }
        if (s.cfg) {
            writeCfg(s.cfg);
        }
        log.events.clear();
        std::string path;
        const std::string error = errorOf(
            [&] { path = std::unique_ptr<Jvm>(makeLauncher().createJvmLauncher())->getPath(); },
            s.failingFunc && std::string(s.failingFunc) == "load" ? "CfgFile.cpp"
                                                                  : "AppLauncher.cpp",
            s.failingFunc ? s.failingFunc : "");
        EXPECT_EQ(s.want, s.failingFunc ? error : path) << s.want;
        EXPECT_EQ(s.wantDefaultTraces, messagesOf(log, "findJvmLib").size()) << s.want;
    }
}

// Configured values are expanded, arguments from the command line replace the configured
// ones as they are.
TEST_F(AppLauncherTest, CreateJvmLauncherFromDefaultRuntime) {
    writeFile(runtimeDir + "/Home/lib/libjli.dylib", "");
    const std::string exe = SysInfo::getProcessModulePath();
    const std::string app = "[Application]\napp.classpath=$APPDIR/demo.jar\napp.mainclass=Main\n"
                            "[JavaOptions]\njava-options=-Droot=$ROOTDIR\n"
                            "java-options=-Dbin=${BINDIR}\n";
    const std::string withArgs =
        app + "[ArgOptions]\narguments=$APPDIR/configured\narguments=second\n";
    const std::vector<std::string> head = {exe,
                                           "-classpath",
                                           appDir + "/demo.jar",
                                           "-Droot=" + tmp.path(),
                                           "-Dbin=" + FileUtils::dirname(exe),
                                           "-Dvorlane.app-path=" + exe,
                                           "Main"};
    const struct {
        std::string cfg;
        std::vector<std::string> argv;
        std::vector<std::string> wantTail;
    } cases[] = {
        {withArgs, {"program"}, {appDir + "/configured", "second"}},
        {withArgs, {"program", "-psn_0_42"}, {appDir + "/configured", "second"}},
        {withArgs, {"program", "$APPDIR", "", "-psn_1"}, {"$APPDIR", ""}},
        {withArgs, {"program", "a b", "-PSN_2"}, {"a b", "-PSN_2"}},
        // Without an ArgOptions section in the file.
        {app, {"program", "x"}, {"x"}},
        {app, {"program"}, {}},
    };
    for (const auto& c : cases) {
        writeCfg(c.cfg);
        ArgvGuard guard(c.argv);
        log.events.clear();
        const std::unique_ptr<Jvm> jvm(makeLauncher().createJvmLauncher());
        std::vector<std::string> want = head;
        want.insert(want.end(), c.wantTail.begin(), c.wantTail.end());
        EXPECT_EQ(want, jvm->getArgs()) << c.argv.size();
        EXPECT_EQ(runtimeDir + "/Home/lib/libjli.dylib", jvm->getPath());
        EXPECT_EQ(std::vector<std::string>{"LAUNCHER_TEST_LIB_PATH"}, jvm->getEnvVarNames());
        EXPECT_EQ(std::vector<std::string>{":" + appDir}, jvm->getEnvVarValues());
        EXPECT_EQ(std::vector<std::string>{"Launcher config file path: \"" + appDir + "/" +
                                           cfgFileName() + "\""},
                  messagesOf(log, "createCfgFile"));
        EXPECT_EQ(std::vector<std::string>{"Property \"app.runtime\" not found in \"Application\" "
                                           "section of launcher config file. Using Java runtime "
                                           "from \"" +
                                           runtimeDir + "\" directory"},
                  messagesOf(log, "findJvmLib"));
    }
}

} // namespace
