#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "AppLauncher.h"
#include "CfgFile.h"
#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "LogTestUtils.h"
#include "SysInfo.h"
#include "TestUtils.h"
#include "UnitTestUtils.h"
#include "lib/FdCapture.h"

namespace {

// The records of one level (and function, when given) as "LEVEL|file|function|message".
std::vector<std::string> recordsAt(const RecordingAppender& log, const std::string& level,
                                   const std::string& func = "") {
    std::vector<std::string> out;
    for (const LogEvent& e : log.events) {
        if (e.levelName == level && (func.empty() || e.funcName == func)) {
            out.push_back(e.levelName + "|" + e.fileName + "|" + e.funcName + "|" + e.message);
        }
    }
    return out;
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
typedef std::unique_ptr<JvmlLauncherData, FreeDeleter> Record;
typedef std::vector<std::pair<std::string, std::string>> EnvList;

void describe(Jvm& jvm, const std::string& path, const std::vector<std::string>& args,
              const EnvList& env = {}) {
    jvm.setPath(path);
    for (const std::string& a : args) {
        jvm.addArgument(a);
    }
    for (const auto& v : env) {
        jvm.addEnvVariable(v.first, v.second);
    }
}

Record makeRecord(const Jvm& jvm, int32_t* size = nullptr) {
    return Record(jvmLauncherCreateJvmlLauncherData(&api, jvm.exportLauncher(), size));
}

std::string addressText(const void* p) {
    std::ostringstream s;
    s << p;
    return s.str();
}

// Reads a value of the record at a byte offset, whatever its alignment.
template <class T> T readAt(const void* base, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const char*>(base) + offset, sizeof value);
    return value;
}

// The process environment a launch test touches, restored afterwards.
struct LaunchEnv {
    TempDir tmp;
    const std::string recordFile = tmp / "record.txt";
    EnvGuard record{"FAKEJLI_RECORD", recordFile};
    EnvGuard env{"FAKEJLI_ENV"};
    EnvGuard result{"FAKEJLI_RESULT"};
    EnvGuard debug{"VORLANE_DEBUG"};
};

TEST(JvmLauncherTest, ArgumentsFollowTheConfigurationInFixedOrder) {
    TempDir tmp;
    const std::string splash = tmp / "splash.png";
    const std::string missing = tmp / "missing.png";
    writeFile(splash, "png");
    const std::string appPath = "-Dvorlane.app-path=/Demo.app/Contents/MacOS/Demo";
    const std::string warning = "WARNING|JvmLauncher.cpp|initFromConfigFile|Splash property "
                                "ignored. File \"" +
                                missing + "\" not found";
    struct Case {
        std::string cfg;
        std::vector<std::string> want;
        std::vector<std::string> wantWarnings;
    };
    const Case cases[] = {
        {"", {"/exe", appPath}, {}},
        {"[JavaOptions]\njava-options=-Xmx1g\njava-options=\njava-options=-Da=b c\n"
         "[ArgOptions]\narguments=x\narguments=\narguments=y z\n",
         {"/exe", "-Xmx1g", "", "-Da=b c", appPath, "x", "", "y z"},
         {}},
        {"[Application]\napp.modulepath=A\napp.modulepath=B\n",
         {"/exe", "--module-path", "A", "--module-path", "B", appPath},
         {}},
        {"[Application]\napp.classpath=a.jar\napp.classpath=b dir\napp.classpath=c.jar\n",
         {"/exe", "-classpath", "a.jar:b dir:c.jar", appPath},
         {}},
        // The last value counts, and a directory is as good as a file.
        {"[Application]\napp.splash=" + missing + "\napp.splash=" + tmp.path() + "\n",
         {"/exe", "-splash:" + tmp.path(), appPath},
         {}},
        {"[Application]\napp.splash=" + missing + "\n", {"/exe", appPath}, {warning}},
        {"[Application]\napp.mainclass=A\napp.mainclass=B\n", {"/exe", appPath, "B"}, {}},
        // Entries that are not arguments.
        {"[AppCDSJavaOptions]\njava-options=-Xshare:dump\n"
         "[AppCDSGenerateCacheJavaOptions]\njava-options=-Xshare:off\n"
         "[Application]\napp.memory=auto\napp.version=1.0\napp.runtime=/rt\nwin.norestart=true\n"
         "java-options=-Xwrong-section\n[ArgOptions]\napp.mainclass=wrong.Section\n",
         {"/exe", appPath},
         {}},
        // Everything, in file order unlike the argument order; the main entries are independent.
        {"[ArgOptions]\narguments=arg1\narguments=arg2\n"
         "[Application]\napp.mainjar=app.jar\napp.mainclass=a.Main\napp.mainmodule=mod\n"
         "app.splash=" +
             splash +
             "\napp.classpath=a.jar\napp.classpath=b.jar\napp.modulepath=mods\n"
             "[JavaOptions]\njava-options=-Xmx512m\njava-options=-Dx=y\n",
         {"/exe", "--module-path", "mods", "-classpath", "a.jar:b.jar", "-splash:" + splash,
          "-Xmx512m", "-Dx=y", appPath, "-m", "mod", "a.Main", "-jar", "app.jar", "arg1", "arg2"},
         {}},
    };
    for (const Case& c : cases) {
        writeFile(tmp / "app.cfg", c.cfg);
        const CfgFile cfg = CfgFile::load(tmp / "app.cfg");
        RecordingAppender log;
        DefaultLoggerGuard logGuard(log, Logger::TRACE);
        Jvm jvm;
        jvm.addArgument("/exe");
        jvm.initFromConfigFile(cfg, "/Demo.app/Contents/MacOS/Demo");
        EXPECT_EQ(c.want, jvm.getArgs()) << c.cfg;
        EXPECT_EQ(c.wantWarnings, recordsAt(log, "WARNING")) << c.cfg;
    }
    // Only set directly, never read from a file: a class path without values.
    Jvm jvm;
    jvm.initFromConfigFile(
        CfgFile().setPropertyValue(SectionName::Application, PropertyName::classpath, {}),
        "/Demo.app/Contents/MacOS/Demo");
    EXPECT_EQ((std::vector<std::string>{"-classpath", "", appPath}), jvm.getArgs());
}

// The table of where the launch reads each property, which the check's findings rely on, is the
// arguments' own: a value reaches them exactly where the table says it is read.
TEST(JvmLauncherTest, PropertiesAreReadWhereTheTableSays) {
    TempDir tmp;
    const std::string marker = tmp / "marker"; // a file, so that a splash screen is taken
    writeFile(marker, "");
    for (const CfgFile::SectionId* section : SectionName::all) {
        for (const CfgFile::PropertyId* property : PropertyName::all) {
            if (*property == PropertyName::runtime) {
                continue; // read by the launcher for the runtime's directory
            }
            Jvm jvm;
            jvm.initFromConfigFile(CfgFile().setPropertyValue(*section, *property, {marker}),
                                   "/exe");
            const bool reached =
                std::any_of(jvm.getArgs().begin(), jvm.getArgs().end(), [&](const std::string& a) {
                    return a.find(marker) != std::string::npos;
                });
            bool listed = false;
            for (const AppLauncher::ReadProperty& read : AppLauncher::readProperties) {
                listed = listed || (*read.section == *section && *read.property == *property);
            }
            EXPECT_EQ(listed, reached) << section->name() << " " << property->name();
        }
    }
}

TEST(JvmLauncherTest, TraceLines) {
    RecordingAppender log;
    DefaultLoggerGuard logGuard(log, Logger::TRACE);
    std::string jvmAddr, recordAddr;
    {
        Jvm jvm;
        jvmAddr = addressText(&jvm);
        describe(jvm, "/a", {"x"});
        const Record record = makeRecord(jvm); // measured twice, filled once
        ASSERT_TRUE(record);
        recordAddr = addressText(record.get());
    }
    const std::string need = "TRACE|JvmLauncher.cpp|initJvmlLauncherData|Need 61 bytes for "
                             "JvmlLauncherData buffer";
    EXPECT_EQ((std::vector<std::string>{
                  "TRACE|JvmLauncher.cpp|Jvm|Jvm(" + jvmAddr + ")::Jvm()", need, need,
                  "TRACE|JvmLauncher.cpp|initJvmlLauncherData|Initialized 61 bytes at " +
                      recordAddr + " address",
                  "TRACE|JvmLauncher.cpp|~Jvm|Jvm(" + jvmAddr + ")::~Jvm()"}),
              recordsAt(log, "TRACE"));
}

TEST(JvmLauncherTest, RecordLayout) {
    struct Case {
        std::string path;
        std::vector<std::string> args;
        EnvList env;
        int32_t wantSize;
    };
    const Case cases[] = {
        {"/a", {"x"}, {}, 61},
        {"", {}, {}, 40 + 1 + 8},
        {"/rt/lib/libjli.dylib",
         {"/exe", "-classpath", "a.jar:b.jar", ""},
         {{"DYLD_LIBRARY_PATH", ":/app"}, {"EMPTY", ""}},
         40 + 21 + 8 * 5 + (5 + 11 + 12 + 1) + 8 * 2 + (18 + 6) + 8 * 2 + (6 + 1)},
        {"/lib", {}, {{"N", "V"}}, 40 + 5 + 8 + 8 + 2 + 8 + 2},
        {"/p", {std::string(300, 'a'), "b"}, {}, 40 + 3 + 24 + 301 + 2},
    };
    for (const Case& c : cases) {
        Jvm jvm;
        describe(jvm, c.path, c.args, c.env);
        int32_t size = -7;
        const Record record = makeRecord(jvm, &size);
        ASSERT_TRUE(record) << c.path;
        EXPECT_EQ(c.wantSize, size) << c.path;
        const char* base = reinterpret_cast<const char*>(record.get());

        // Walk the expected layout independently of the launcher's own walk.
        size_t offset = 40;
        auto expectString = [&](size_t at, const std::string& want) {
            EXPECT_EQ(base + offset, readAt<const char*>(base, at)) << c.path << " " << want;
            EXPECT_EQ(0, std::memcmp(base + offset, want.c_str(), want.size() + 1)) << c.path;
            offset += want.size() + 1;
        };
        // An address array at the header's field, then its strings.
        auto expectArray = [&](size_t field, const std::vector<std::string>& strings, bool nul) {
            const size_t array = offset;
            EXPECT_EQ(base + array, readAt<const char*>(base, field)) << c.path << " " << field;
            offset += 8 * (strings.size() + (nul ? 1 : 0));
            for (size_t i = 0; i != strings.size(); ++i) {
                expectString(array + 8 * i, strings[i]);
            }
            if (nul) {
                EXPECT_EQ(nullptr, readAt<const char*>(base, array + 8 * strings.size()));
            }
        };
        expectString(0, c.path);
        EXPECT_EQ(static_cast<int32_t>(c.args.size()), readAt<int32_t>(base, 8)) << c.path;
        EXPECT_EQ(static_cast<int32_t>(c.env.size()), readAt<int32_t>(base, 12)) << c.path;
        std::vector<std::string> names, values;
        for (const auto& v : c.env) {
            names.push_back(v.first);
            values.push_back(v.second);
        }
        expectArray(16, c.args, true);
        expectArray(24, names, false);
        expectArray(32, values, false);
        EXPECT_EQ(static_cast<size_t>(c.wantSize), offset) << c.path;
    }
}

TEST(JvmLauncherTest, FillEntryNeedsRoomForTheWholeRecord) {
    Jvm jvm;
    describe(jvm, "/a", {"x"});
    struct Case {
        int32_t bufferSize;
        bool wantFilled;
    };
    const Case cases[] = {{-1, false}, {0, false}, {60, false}, {61, true}, {100, true}};
    for (const Case& c : cases) {
        std::vector<char> buffer(128, static_cast<char>(0xab));
        void* h = jvm.exportLauncher();
        JvmlLauncherData* got = api.initJvmlLauncherData(h, buffer.data(), c.bufferSize);
        api.closeHandle(h);
        EXPECT_EQ(c.wantFilled ? static_cast<void*>(buffer.data()) : nullptr,
                  static_cast<void*>(got))
            << c.bufferSize;
        const size_t untouchedFrom = c.wantFilled ? 61 : 0;
        EXPECT_EQ(std::string(128 - untouchedFrom, static_cast<char>(0xab)),
                  std::string(buffer.begin() + untouchedFrom, buffer.end()))
            << c.bufferSize;
    }
}

// A table that records how the building function uses it.
struct FakeOps {
    static int32_t size;
    static bool fill;
    static int closed, filled;

    static void closeHandle(JvmlLauncherHandle) { ++closed; }
    static int32_t getSize(JvmlLauncherHandle) { return size; }
    static JvmlLauncherData* init(JvmlLauncherHandle, void* ptr, int32_t bufferSize) {
        ++filled;
        if (!fill || bufferSize != size) {
            return nullptr;
        }
        std::memset(ptr, 0, static_cast<size_t>(bufferSize));
        return static_cast<JvmlLauncherData*>(ptr);
    }
    // Builds through the table from a fresh count.
    static JvmlLauncherData* build(void* handle, int32_t withSize, bool withFill, int32_t* out) {
        const JvmlLauncherOps ops = {closeHandle, getSize, init};
        size = withSize;
        fill = withFill;
        closed = filled = 0;
        return jvmLauncherCreateJvmlLauncherData(&ops, handle, out);
    }
};
int32_t FakeOps::size;
bool FakeOps::fill;
int FakeOps::closed, FakeOps::filled;

TEST(JvmLauncherTest, BuildingAlwaysConsumesTheHandle) {
    int handleObject = 0;
    struct Case {
        const char* name;
        void* handle;
        int32_t size;
        bool fill, wantRecord;
        int wantClosed, wantFilled;
    };
    const Case cases[] = {
        {"null handle", nullptr, 64, true, false, 0, 0},
        {"size reports an error", &handleObject, -1, true, false, 1, 0},
        {"size zero", &handleObject, 0, true, false, 1, 0},
        {"fill fails", &handleObject, 64, false, false, 1, 1},
        {"fill succeeds", &handleObject, 64, true, true, 1, 1},
    };
    for (const Case& c : cases) {
        int32_t size = -7;
        const Record record(FakeOps::build(c.handle, c.size, c.fill, &size));
        EXPECT_EQ(c.wantRecord, record != nullptr) << c.name;
        EXPECT_EQ(c.wantRecord ? c.size : -7, size) << c.name;
        EXPECT_EQ(c.wantClosed, FakeOps::closed) << c.name;
        EXPECT_EQ(c.wantFilled, FakeOps::filled) << c.name;
    }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Only a process with a small address space sees malloc fail, and the sanitizers reserve far
// more than such a limit allows: plain builds only, in a child process.
TEST(JvmLauncherTest, FailedAllocationIsReportedOnTheDebugOutput) {
    EnvGuard debug("VORLANE_DEBUG", "true");
    auto build = [] {
        const struct rlimit rl = {rlim_t(1) << 30, rlim_t(1) << 30};
        ::setrlimit(RLIMIT_AS, &rl);
        int handleObject = 0;
        const JvmlLauncherData* r = FakeOps::build(&handleObject, INT32_MAX, true, nullptr);
        std::exit(!r && FakeOps::closed == 1 && FakeOps::filled == 0 ? 0 : 2);
    };
    EXPECT_EXIT(build(), ::testing::ExitedWithCode(0), std::strerror(ENOMEM));
}
#endif

TEST(JvmLauncherTest, RecordTooLargeForItsSizeFieldIsRefusedAndNothingIsLaunched) {
    LaunchEnv env;
    Jvm jvm;
    // With the library path, the header and the arrays this passes the 32-bit limit.
    describe(jvm, FAKEJLI_PATH, {"/exe", std::string(size_t(1) << 31, 'x')});
    RecordingAppender log;
    DefaultLoggerGuard logGuard(log, Logger::TRACE);
    EXPECT_EQ("Failed to launch JVM", errorOf([&] { jvm.launch(); }, "JvmLauncher.cpp", "launch"));
    const uint64_t want = 40 + sizeof(FAKEJLI_PATH) + 8 * 3 + 5 + (uint64_t(1) << 31) + 1;
    const std::vector<std::string> errors = recordsAt(log, "ERROR");
    ASSERT_EQ(1u, errors.size());
    const std::regex line("ERROR\\|JvmLauncher\\.cpp\\|getJvmlLauncherDataSize\\|Exception with "
                          "message 'JvmLauncher\\.cpp\\([0-9]+\\) at initJvmlLauncherData\\(\\): "
                          "JvmlLauncherData needs " +
                          std::to_string(want) +
                          " bytes, more than the limit of 2147483647 bytes' caught");
    EXPECT_TRUE(std::regex_match(errors[0], line)) << errors[0];
    EXPECT_EQ("", readFile(env.recordFile));
}

TEST(JvmLauncherTest, LaunchHandsTheDescriptionToJliLaunch) {
    LaunchEnv env;
    EnvGuard a("FJ_A", "old");
    EnvGuard empty("FJ_EMPTY");
    EnvGuard untouched("FJ_UNTOUCHED");
    ::setenv("FAKEJLI_ENV", "FJ_A,FJ_EMPTY,FJ_UNTOUCHED", 1);
    Jvm jvm;
    describe(jvm, FAKEJLI_PATH, {"/exe", "a b", "", "back\\slash\nnewline"},
             {{"FJ_A", "1"}, {"FJ_EMPTY", ""}});
    RecordingAppender log;
    DefaultLoggerGuard logGuard(log, Logger::TRACE);
    jvm.launch();
    EXPECT_EQ("call\nargc=4\narg=/exe\narg=a b\narg=\narg=back\\\\slash\\nnewline\n"
              "argv_terminated=1\nparams=0,1,0,1,,,java,java,0,0,0,0\n"
              "env:FJ_A=1\nenv:FJ_EMPTY=\nenv:FJ_UNTOUCHED unset\nend\n",
              readFile(env.recordFile));
    EXPECT_EQ(std::vector<std::string>{std::string("TRACE|JvmLauncher.cpp|launch|JVM library: \"") +
                                       FAKEJLI_PATH + "\""},
              recordsAt(log, "TRACE", "launch"));
    EXPECT_FALSE(isLoaded(FAKEJLI_PATH)) << "the library handles must be closed";
}

TEST(JvmLauncherTest, LaunchFailures) {
    TempDir tmp;
    const std::string missing = tmp / "missing.dylib";
    struct Case {
        std::string path;
        const char* result;
        std::string wantFile, wantFunc, wantMessage;
        bool wantCalled;
    };
    const std::string failed = "Failed to launch JVM";
    const Case cases[] = {
        {FAKEJLI_PATH, "1", "JvmLauncher.cpp", "launch", failed, true},
        {FAKEJLI_PATH, "-1", "JvmLauncher.cpp", "launch", failed, true},
        {NOJLI_PATH, "0", "UnixDll.cpp", "getFunction",
         std::string("dlsym(") + NOJLI_PATH +
             ", JLI_Launch) failed. Error: " + dlsymError(NOJLI_PATH, "JLI_Launch"),
         false},
        {missing, "0", "UnixDll.cpp", "loadLibrary",
         "dlopen(" + missing + ") failed. Error: " + dlopenError(missing), false},
    };
    for (const Case& c : cases) {
        LaunchEnv env;
        ::setenv("FAKEJLI_RESULT", c.result, 1);
        Jvm jvm;
        describe(jvm, c.path, {"/exe"});
        EXPECT_EQ(c.wantMessage, errorOf([&] { jvm.launch(); }, c.wantFile, c.wantFunc))
            << c.path << " " << c.result;
        EXPECT_EQ(c.wantCalled, !readFile(env.recordFile).empty()) << c.path << " " << c.result;
        EXPECT_FALSE(isLoaded(c.path)) << c.path << ": handles must be closed";
    }
}

// The debug lines, and a failed setenv reported without ending the launch.
TEST(JvmLauncherTest, DebugOutputOnlyWhenTheSwitchIsExactlyTrue) {
    Jvm jvm;
    // "/a" has an odd length, so the arrays that follow are not aligned.
    describe(jvm, "/a", {"/exe", "%s %d"},
             {{"BAD=NAME", "v"}, {"FJ_DEBUG_A", "x=y"}, {"FJ_DEBUG_EMPTY", ""}});
    const std::string debugLines = "jli lib: [/a]\njli arg[0]: [/exe]\njli arg[1]: [%s %d]\n"
                                   "env var[0]: BAD=NAME=[v]\nenv var[1]: FJ_DEBUG_A=[x=y]\n"
                                   "env var[2]: FJ_DEBUG_EMPTY=[]\nsetenv(0) failed\n"
                                   "log 100% 7 [text]\n";
    struct Case {
        const char* value; // null: unset
        bool wantOutput;
    };
    const Case cases[] = {{"true", true},   {nullptr, false}, {"", false},      {"TRUE", false},
                          {"true ", false}, {" true", false}, {"false", false}, {"1", false}};
    void* lib = ::dlopen(FAKEJLI_PATH, RTLD_LAZY);
    void* launch = lib ? ::dlsym(lib, "JLI_Launch") : nullptr;
    ASSERT_NE(nullptr, launch);
    for (const Case& c : cases) {
        LaunchEnv env;
        EnvGuard a("FJ_DEBUG_A");
        EnvGuard empty("FJ_DEBUG_EMPTY", "was set");
        if (c.value) {
            ::setenv("VORLANE_DEBUG", c.value, 1);
        }
        const Record record = makeRecord(jvm);
        ASSERT_TRUE(record);
        FdCapture err;
        EXPECT_EQ(0, jvmLauncherStartJvm(record.get(), launch));
        jvmLauncherLog("log %s %d [%s]", "100%", 7, "text");
        EXPECT_EQ(c.wantOutput ? debugLines : "", err.str()) << (c.value ? c.value : "(unset)");
        EXPECT_EQ("x=y", SysInfo::getEnvVariable("FJ_DEBUG_A"));
        EXPECT_EQ("", SysInfo::getEnvVariable("FJ_DEBUG_EMPTY"));
    }
    EXPECT_EQ(-1, jvmLauncherStartJvm(nullptr, launch)) << "no record, no launch";
    ::dlclose(lib);
}

} // namespace
