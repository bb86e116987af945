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

// Replaces the process arguments that AppLauncher reads, and restores them.
class ArgsGuard {
public:
    explicit ArgsGuard(std::vector<std::string> args)
        : storage(std::move(args)), oldArgc(SysInfo::argc), oldArgv(SysInfo::argv) {
        for (std::string& s : storage) {
            pointers.push_back(&s[0]);
        }
        pointers.push_back(nullptr);
        SysInfo::argc = static_cast<int>(storage.size());
        SysInfo::argv = pointers.data();
    }
    ~ArgsGuard() {
        SysInfo::argc = oldArgc;
        SysInfo::argv = oldArgv;
    }

private:
    std::vector<std::string> storage;
    std::vector<char*> pointers;
    int oldArgc;
    char** oldArgv;
};

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

    // A launcher configured the way the start-up code does it.
    AppLauncher makeLauncher() const {
        AppLauncher launcher;
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
    ArgsGuard args;
    const std::string appDir;
    const std::string runtimeDir;
    EnvGuard libEnv;
};

TEST_F(AppLauncherTest, CfgFileInAppDirIsUsedWithoutCheckWhenNoUserDir) {
    // Not even created: a missing file is reported by the loader, not here.
    EXPECT_EQ(appDir + "/" + cfgFileName(), makeLauncher().getCfgFilePath());
    EXPECT_TRUE(messagesOf(log, "getCfgFilePath").empty());
}

TEST_F(AppLauncherTest, UserDirsAreCheckedInOrderAndFirstHitWins) {
    const std::string user1 = tmp / "user1";
    const std::string user2 = tmp / "user2";
    const std::string user3 = tmp / "user3";
    writeFile(FileUtils::combinePath(user2, cfgFileName()), "");
    writeFile(FileUtils::combinePath(user3, cfgFileName()), "");
    writeCfg("");

    AppLauncher launcher = makeLauncher();
    launcher.addCfgFileDir(user1).addCfgFileDir(user2).addCfgFileDir(user3);

    EXPECT_EQ(user2 + "/" + cfgFileName(), launcher.getCfgFilePath());
    const std::vector<std::string> want = {"Check [" + user1 + "/" + cfgFileName() + "] file exit",
                                           "Check [" + user2 + "/" + cfgFileName() + "] file exit"};
    EXPECT_EQ(want, messagesOf(log, "getCfgFilePath"));
    ASSERT_FALSE(log.events.empty());
    EXPECT_EQ("TRACE", log.events[0].levelName);
    EXPECT_EQ("AppLauncher.cpp", log.events[0].fileName);
}

TEST_F(AppLauncherTest, UserDirWithoutFileFallsBackToAppDir) {
    AppLauncher launcher = makeLauncher();
    launcher.addCfgFileDir(tmp / "nobody");
    EXPECT_EQ(appDir + "/" + cfgFileName(), launcher.getCfgFilePath());
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

TEST_F(AppLauncherTest, CreateJvmLauncherFromDefaultRuntime) {
    writeCfg("[Application]\n"
             "app.classpath=$APPDIR/demo.jar\n"
             "app.mainclass=demo.Main\n"
             "[JavaOptions]\n"
             "java-options=-Xmx512m\n"
             "java-options=-Droot=$ROOTDIR\n"
             "java-options=-Dbin=${BINDIR}\n");
    writeFile(runtimeDir + "/Home/lib/libjli.dylib", "");

    const std::unique_ptr<Jvm> jvm(makeLauncher().createJvmLauncher());

    const std::string exe = SysInfo::getProcessModulePath();
    EXPECT_EQ(runtimeDir + "/Home/lib/libjli.dylib", jvm->getPath());
    const std::vector<std::string> wantArgs = {exe,
                                               "-classpath",
                                               appDir + "/demo.jar",
                                               "-Xmx512m",
                                               "-Droot=" + tmp.path(),
                                               "-Dbin=" + FileUtils::dirname(exe),
                                               "-Dvorlane.app-path=" + exe,
                                               "demo.Main"};
    EXPECT_EQ(wantArgs, jvm->getArgs());
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

TEST_F(AppLauncherTest, LaunchLibraryLocations) {
    writeCfg("[Application]\napp.mainclass=Main\n");
    const AppLauncher launcher = makeLauncher();

    writeFile(runtimeDir + "/Home/lib/jli/libjli.dylib", "");
    EXPECT_EQ(runtimeDir + "/Home/lib/jli/libjli.dylib",
              std::unique_ptr<Jvm>(launcher.createJvmLauncher())->getPath());

    writeFile(runtimeDir + "/Home/lib/libjli.dylib", "");
    EXPECT_EQ(runtimeDir + "/Home/lib/libjli.dylib",
              std::unique_ptr<Jvm>(launcher.createJvmLauncher())->getPath());
}

TEST_F(AppLauncherTest, ConfiguredRuntimeIsUsedWithoutFallback) {
    const std::string configured = tmp / "other runtime";
    writeFile(runtimeDir + "/Home/lib/libjli.dylib", "");
    writeCfg("[Application]\napp.runtime=/nowhere\napp.runtime=$ROOTDIR/other runtime\n"
             "app.mainclass=Main\n");

    try {
        delete makeLauncher().createJvmLauncher();
        FAIL() << "no error";
    } catch (const VorlaneErrorBase& e) {
        EXPECT_EQ("Failed to find JVM in \"" + configured + "\" directory.",
                  std::string(e.rawMessage()));
        const std::string what = dynamic_cast<const std::exception&>(e).what();
        EXPECT_NE(std::string::npos, what.find("AppLauncher.cpp")) << what;
        EXPECT_NE(std::string::npos, what.find("findJvmLib")) << what;
    }
    EXPECT_TRUE(messagesOf(log, "findJvmLib").empty());

    writeFile(configured + "/Home/lib/jli/libjli.dylib", "");
    EXPECT_EQ(configured + "/Home/lib/jli/libjli.dylib",
              std::unique_ptr<Jvm>(makeLauncher().createJvmLauncher())->getPath());
}

TEST_F(AppLauncherTest, NoLaunchLibraryInDefaultRuntime) {
    writeCfg("[Application]\napp.mainclass=Main\n");
    try {
        delete makeLauncher().createJvmLauncher();
        FAIL() << "no error";
    } catch (const VorlaneErrorBase& e) {
        EXPECT_EQ("Failed to find JVM in \"" + runtimeDir + "\" directory.",
                  std::string(e.rawMessage()));
    }
}

TEST_F(AppLauncherTest, MissingCfgFileFailsWithLoaderError) {
    writeFile(runtimeDir + "/Home/lib/libjli.dylib", "");
    try {
        delete makeLauncher().createJvmLauncher();
        FAIL() << "no error";
    } catch (const VorlaneErrorBase& e) {
        EXPECT_EQ("Error opening \"" + appDir + "/" + cfgFileName() +
                      "\" file: No such file or directory",
                  std::string(e.rawMessage()));
    }
}

TEST_F(AppLauncherTest, CommandLineArgumentsReplaceConfiguredOnesUnexpanded) {
    writeCfg("[Application]\napp.mainclass=Main\n"
             "[ArgOptions]\narguments=$APPDIR/configured\narguments=second\n");
    writeFile(runtimeDir + "/Home/lib/libjli.dylib", "");
    const std::string exe = SysInfo::getProcessModulePath();
    const std::string appPath = "-Dvorlane.app-path=" + exe;

    const struct {
        std::vector<std::string> argv;
        std::vector<std::string> wantArgs;
    } cases[] = {
        {{"program"}, {exe, appPath, "Main", appDir + "/configured", "second"}},
        {{"program", "-psn_0_42"}, {exe, appPath, "Main", appDir + "/configured", "second"}},
        {{"program", "$APPDIR", "", "-psn_1"}, {exe, appPath, "Main", "$APPDIR", ""}},
        {{"program", "a b", "-PSN_2"}, {exe, appPath, "Main", "a b", "-PSN_2"}},
    };
    for (const auto& c : cases) {
        ArgsGuard guard(c.argv);
        const std::unique_ptr<Jvm> jvm(makeLauncher().createJvmLauncher());
        EXPECT_EQ(c.wantArgs, jvm->getArgs()) << c.argv.size();
    }
}

TEST_F(AppLauncherTest, CommandLineArgumentsCreateTheArgOptionsSection) {
    writeCfg("[Application]\napp.mainclass=Main\n");
    writeFile(runtimeDir + "/Home/lib/libjli.dylib", "");
    ArgsGuard guard({"program", "x"});
    const std::unique_ptr<Jvm> jvm(makeLauncher().createJvmLauncher());
    ASSERT_FALSE(jvm->getArgs().empty());
    EXPECT_EQ("x", jvm->getArgs().back());
    EXPECT_EQ("Main", jvm->getArgs()[jvm->getArgs().size() - 2]);
}

} // namespace
