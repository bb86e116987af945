#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "LogTestUtils.h"
#include "SysInfo.h"
#include "TestUtils.h"
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

struct Prop {
    CfgFile::SectionId section;
    CfgFile::PropertyId property;
    CfgFile::Values values;
};

CfgFile makeCfg(const std::vector<Prop>& props) {
    CfgFile cfg;
    for (const Prop& p : props) {
        cfg.setPropertyValue(p.section, p.property, p.values);
    }
    return cfg;
}

std::string joinLines(const std::vector<std::string>& v) {
    std::string out;
    for (const std::string& s : v) {
        out += "[" + s + "]\n";
    }
    return out;
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

void* fakeJliLaunch(void*& handle) {
    handle = ::dlopen(FAKEJLI_PATH, RTLD_LAZY);
    return handle ? ::dlsym(handle, "JLI_Launch") : nullptr;
}

bool isLoaded(const char* path) {
    void* h = ::dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
    if (h) {
        ::dlclose(h);
    }
    return h != nullptr;
}

TEST(JvmLauncherTest, ArgumentsFollowTheConfigurationInFixedOrder) {
    TempDir tmp;
    const std::string splash = tmp / "splash.png";
    const std::string missing = tmp / "missing.png";
    writeFile(splash, "png");
    const std::string appPath = "-Dvorlane.app-path=" + SysInfo::getProcessModulePath();
    const std::string warning = "WARNING|JvmLauncher.cpp|initFromConfigFile|Splash property "
                                "ignored. File \"" +
                                missing + "\" not found";
    using namespace SectionName;
    namespace P = PropertyName;

    struct Case {
        const char* name;
        std::vector<Prop> props;
        std::vector<std::string> want;
        std::vector<std::string> wantWarnings;
    };
    const Case cases[] = {
        {"empty configuration", {}, {"/exe", appPath}, {}},
        {"no Application section",
         {{JavaOptions, P::javaOptions, {"-Xmx1g", "", "-Da=b c"}},
          {ArgOptions, P::arguments, {"x", "", "y z"}}},
         {"/exe", "-Xmx1g", "", "-Da=b c", appPath, "x", "", "y z"},
         {}},
        {"module path pairs",
         {{Application, P::modulepath, {"A", "B"}}},
         {"/exe", "--module-path", "A", "--module-path", "B", appPath},
         {}},
        {"class path joined",
         {{Application, P::classpath, {"a.jar", "b dir", "c.jar"}}},
         {"/exe", "-classpath", "a.jar:b dir:c.jar", appPath},
         {}},
        {"class path without values",
         {{Application, P::classpath, {}}},
         {"/exe", "-classpath", "", appPath},
         {}},
        {"splash file",
         {{Application, P::splash, {splash}}},
         {"/exe", "-splash:" + splash, appPath},
         {}},
        {"splash directory",
         {{Application, P::splash, {tmp.path()}}},
         {"/exe", "-splash:" + tmp.path(), appPath},
         {}},
        {"splash last value counts",
         {{Application, P::splash, {missing, splash}}},
         {"/exe", "-splash:" + splash, appPath},
         {}},
        {"splash missing", {{Application, P::splash, {missing}}}, {"/exe", appPath}, {warning}},
        {"main entries are independent",
         {{Application, P::mainjar, {"app.jar"}},
          {Application, P::mainclass, {"a.Main"}},
          {Application, P::mainmodule, {"mod/a.Main"}}},
         {"/exe", appPath, "-m", "mod/a.Main", "a.Main", "-jar", "app.jar"},
         {}},
        {"main jar alone",
         {{Application, P::mainjar, {"app.jar"}}},
         {"/exe", appPath, "-jar", "app.jar"},
         {}},
        {"main class last value counts",
         {{Application, P::mainclass, {"A", "B"}}},
         {"/exe", appPath, "B"},
         {}},
        {"entries that are not arguments",
         {{AppCDSJavaOptions, P::javaOptions, {"-Xshare:dump"}},
          {AppCDSGenerateCacheJavaOptions, P::javaOptions, {"-Xshare:off"}},
          {Application, P::memory, {"auto"}},
          {Application, P::version, {"1.0"}},
          {Application, P::runtime, {"/rt"}},
          {Application, P::winNorestart, {"true"}},
          {Application, P::javaOptions, {"-Xwrong-section"}},
          {ArgOptions, P::mainclass, {"wrong.Section"}}},
         {"/exe", appPath},
         {}},
        {"everything",
         {{ArgOptions, P::arguments, {"arg1", "arg2"}},
          {Application, P::mainjar, {"app.jar"}},
          {Application, P::mainclass, {"a.Main"}},
          {Application, P::mainmodule, {"mod"}},
          {JavaOptions, P::javaOptions, {"-Xmx512m", "-Dx=y"}},
          {Application, P::splash, {splash}},
          {Application, P::classpath, {"a.jar", "b.jar"}},
          {Application, P::modulepath, {"mods"}}},
         {"/exe", "--module-path", "mods", "-classpath", "a.jar:b.jar", "-splash:" + splash,
          "-Xmx512m", "-Dx=y", appPath, "-m", "mod", "a.Main", "-jar", "app.jar", "arg1", "arg2"},
         {}},
    };
    for (const Case& c : cases) {
        RecordingAppender log;
        DefaultLoggerGuard logGuard(log, Logger::TRACE);
        Jvm jvm;
        jvm.addArgument("/exe");
        EXPECT_EQ(&jvm, &jvm.initFromConfigFile(makeCfg(c.props))) << c.name;
        EXPECT_EQ(joinLines(c.want), joinLines(jvm.getArgs())) << c.name;
        EXPECT_EQ(joinLines(c.wantWarnings), joinLines(recordsAt(log, "WARNING"))) << c.name;
    }
}

TEST(JvmLauncherTest, ConstructionAndDestructionAreTraced) {
    RecordingAppender log;
    DefaultLoggerGuard logGuard(log, Logger::TRACE);
    Jvm* jvm = new Jvm();
    const std::string addr = addressText(jvm);
    delete jvm;
    EXPECT_EQ(joinLines({"TRACE|JvmLauncher.cpp|Jvm|Jvm(" + addr + ")::Jvm()",
                         "TRACE|JvmLauncher.cpp|~Jvm|Jvm(" + addr + ")::~Jvm()"}),
              joinLines(recordsAt(log, "TRACE")));
}

TEST(JvmLauncherTest, RecordLayout) {
    struct Case {
        std::string path;
        std::vector<std::string> args;
        std::vector<std::string> names;
        std::vector<std::string> values;
        int32_t wantSize;
    };
    const Case cases[] = {
        {"/a", {"x"}, {}, {}, 61},
        {"", {}, {}, {}, 40 + 1 + 8},
        {"/rt/lib/libjli.dylib",
         {"/exe", "-classpath", "a.jar:b.jar", ""},
         {"DYLD_LIBRARY_PATH", "EMPTY"},
         {":/app", ""},
         40 + 21 + 8 * 5 + (5 + 11 + 12 + 1) + 8 * 2 + (18 + 6) + 8 * 2 + (6 + 1)},
        {"/lib", {}, {"N"}, {"V"}, 40 + 5 + 8 + 8 + 2 + 8 + 2},
        {"/p", {std::string(300, 'a'), "b"}, {}, {}, 40 + 3 + 24 + 301 + 2},
    };
    for (const Case& c : cases) {
        Jvm jvm;
        jvm.setPath(c.path);
        for (const std::string& a : c.args) {
            jvm.addArgument(a);
        }
        for (size_t i = 0; i != c.names.size(); ++i) {
            jvm.addEnvVariable(c.names[i], c.values[i]);
        }
        int32_t size = -7;
        const Record record(jvmLauncherCreateJvmlLauncherData(&api, jvm.exportLauncher(), &size));
        ASSERT_TRUE(record) << c.path;
        EXPECT_EQ(c.wantSize, size) << c.path;
        const char* base = reinterpret_cast<const char*>(record.get());

        // Walk the expected layout independently of the launcher's own walk.
        size_t offset = 40;
        auto expectString = [&](size_t at, const std::string& want, const std::string& what) {
            EXPECT_EQ(base + offset, readAt<const char*>(base, at)) << c.path << " " << what;
            EXPECT_EQ(0, std::memcmp(base + offset, want.c_str(), want.size() + 1))
                << c.path << " " << what;
            offset += want.size() + 1;
        };
        expectString(0, c.path, "library path");
        EXPECT_EQ(static_cast<int32_t>(c.args.size()), readAt<int32_t>(base, 8)) << c.path;
        EXPECT_EQ(static_cast<int32_t>(c.names.size()), readAt<int32_t>(base, 12)) << c.path;

        const size_t argArray = offset;
        EXPECT_EQ(base + argArray, readAt<const char*>(base, 16)) << c.path;
        offset += 8 * (c.args.size() + 1);
        for (size_t i = 0; i != c.args.size(); ++i) {
            expectString(argArray + 8 * i, c.args[i], "arg " + std::to_string(i));
        }
        EXPECT_EQ(nullptr, readAt<const char*>(base, argArray + 8 * c.args.size())) << c.path;

        const size_t nameArray = offset;
        EXPECT_EQ(base + nameArray, readAt<const char*>(base, 24)) << c.path;
        offset += 8 * c.names.size();
        for (size_t i = 0; i != c.names.size(); ++i) {
            expectString(nameArray + 8 * i, c.names[i], "name " + std::to_string(i));
        }

        const size_t valueArray = offset;
        EXPECT_EQ(base + valueArray, readAt<const char*>(base, 32)) << c.path;
        offset += 8 * c.values.size();
        for (size_t i = 0; i != c.values.size(); ++i) {
            expectString(valueArray + 8 * i, c.values[i], "value " + std::to_string(i));
        }
        EXPECT_EQ(static_cast<size_t>(c.wantSize), offset) << c.path;
    }
}

TEST(JvmLauncherTest, RecordIsMeasuredTwiceAndFilledOnceWithTraceLines) {
    Jvm jvm;
    jvm.setPath("/a");
    jvm.addArgument("x");
    RecordingAppender log;
    DefaultLoggerGuard logGuard(log, Logger::TRACE);
    const Record record(jvmLauncherCreateJvmlLauncherData(&api, jvm.exportLauncher(), nullptr));
    ASSERT_TRUE(record);
    const std::string need = "TRACE|JvmLauncher.cpp|initJvmlLauncherData|Need 61 bytes for "
                             "JvmlLauncherData buffer";
    EXPECT_EQ(joinLines({need, need,
                         "TRACE|JvmLauncher.cpp|initJvmlLauncherData|Initialized 61 bytes at " +
                             addressText(record.get()) + " address"}),
              joinLines(recordsAt(log, "TRACE")));
}

TEST(JvmLauncherTest, FillEntryNeedsRoomForTheWholeRecord) {
    Jvm jvm;
    jvm.setPath("/a");
    jvm.addArgument("x");
    struct Case {
        int32_t bufferSize;
        bool wantFilled;
    };
    const Case cases[] = {{-1, false}, {0, false}, {60, false}, {61, true}, {100, true}};
    for (const Case& c : cases) {
        const std::unique_ptr<char, FreeDeleter> buffer(static_cast<char*>(std::malloc(128)));
        std::memset(buffer.get(), 0xab, 128);
        void* h = jvm.exportLauncher();
        JvmlLauncherData* got = api.initJvmlLauncherData(h, buffer.get(), c.bufferSize);
        api.closeHandle(h);
        EXPECT_EQ(c.wantFilled ? static_cast<void*>(buffer.get()) : nullptr,
                  static_cast<void*>(got))
            << c.bufferSize;
        const size_t untouchedFrom = c.wantFilled ? 61 : 0;
        for (size_t i = untouchedFrom; i != 128; ++i) {
            ASSERT_EQ(static_cast<char>(0xab), buffer.get()[i]) << c.bufferSize << " at " << i;
        }
    }
}

// A table that records how the building function uses it.
struct FakeOps {
    static int32_t size;
    static bool fill;
    static int closed;
    static int filled;

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
};
int32_t FakeOps::size;
bool FakeOps::fill;
int FakeOps::closed;
int FakeOps::filled;

TEST(JvmLauncherTest, BuildingAlwaysConsumesTheHandle) {
    const JvmlLauncherOps ops = {FakeOps::closeHandle, FakeOps::getSize, FakeOps::init};
    int handleObject = 0;
    struct Case {
        const char* name;
        void* handle;
        int32_t size;
        bool fill;
        bool wantRecord;
        int wantClosed;
        int wantFilled;
    };
    const Case cases[] = {
        {"null handle", nullptr, 64, true, false, 0, 0},
        {"size reports an error", &handleObject, -1, true, false, 1, 0},
        {"size zero", &handleObject, 0, true, false, 1, 0},
        {"fill fails", &handleObject, 64, false, false, 1, 1},
        {"fill succeeds", &handleObject, 64, true, true, 1, 1},
    };
    for (const Case& c : cases) {
        FakeOps::size = c.size;
        FakeOps::fill = c.fill;
        FakeOps::closed = 0;
        FakeOps::filled = 0;
        int32_t size = -7;
        const Record record(jvmLauncherCreateJvmlLauncherData(&ops, c.handle, &size));
        EXPECT_EQ(c.wantRecord, record != nullptr) << c.name;
        EXPECT_EQ(c.wantRecord ? c.size : -7, size) << c.name;
        EXPECT_EQ(c.wantClosed, FakeOps::closed) << c.name;
        EXPECT_EQ(c.wantFilled, FakeOps::filled) << c.name;
    }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Runs in a child: builds a record through a table that asks for more than malloc can give.
void buildWithFailingMalloc() {
    const rlim_t limit = rlim_t(1) << 30;
    const struct rlimit rl = {limit, limit};
    ::setrlimit(RLIMIT_AS, &rl);
    const JvmlLauncherOps ops = {FakeOps::closeHandle, FakeOps::getSize, FakeOps::init};
    FakeOps::size = INT32_MAX;
    FakeOps::fill = true;
    FakeOps::closed = 0;
    FakeOps::filled = 0;
    int handleObject = 0;
    JvmlLauncherData* r = jvmLauncherCreateJvmlLauncherData(&ops, &handleObject, nullptr);
    std::exit(!r && FakeOps::closed == 1 && FakeOps::filled == 0 ? 0 : 2);
}

TEST(JvmLauncherTest, FailedAllocationIsReportedOnTheDebugOutput) {
    // Only a process with a small address space sees malloc fail; the sanitizers reserve far
    // more address space than such a limit allows, so this runs in plain builds only.
    EnvGuard debug("VORLANE_DEBUG", "true");
    const std::string message = std::strerror(ENOMEM);
    EXPECT_EXIT(buildWithFailingMalloc(), ::testing::ExitedWithCode(0), message.c_str());
}
#endif

TEST(JvmLauncherTest, RecordTooLargeForItsSizeFieldIsRefusedAndNothingIsLaunched) {
    LaunchEnv env;
    Jvm jvm;
    jvm.setPath(FAKEJLI_PATH);
    jvm.addArgument("/exe");
    // With the library path, the header and the arrays this passes the 32-bit limit.
    jvm.addArgument(std::string(size_t(1) << 31, 'x'));
    RecordingAppender log;
    DefaultLoggerGuard logGuard(log, Logger::TRACE);
    try {
        jvm.launch();
        ADD_FAILURE() << "launch succeeded";
    } catch (const VorlaneErrorBase& e) {
        EXPECT_EQ(std::string("Failed to launch JVM"), e.rawMessage());
    }
    const uint64_t want = 40 + sizeof(FAKEJLI_PATH) + 8 * 3 + 5 + (uint64_t(1) << 31) + 1;
    const std::vector<std::string> errors = recordsAt(log, "ERROR");
    ASSERT_EQ(1u, errors.size());
    const std::string prefix = "ERROR|JvmLauncher.cpp|getJvmlLauncherDataSize|Exception with "
                               "message 'JvmLauncher.cpp(";
    const std::string suffix = ") at initJvmlLauncherData(): JvmlLauncherData needs " +
                               std::to_string(want) +
                               " bytes, more than the limit of 2147483647 bytes' caught";
    EXPECT_EQ(prefix, errors[0].substr(0, prefix.size()));
    ASSERT_GE(errors[0].size(), suffix.size());
    EXPECT_EQ(suffix, errors[0].substr(errors[0].size() - suffix.size()));
    EXPECT_EQ("", readFile(env.recordFile));
}

TEST(JvmLauncherTest, LaunchHandsTheDescriptionToJliLaunch) {
    LaunchEnv env;
    EnvGuard a("FJ_A", "old");
    EnvGuard empty("FJ_EMPTY");
    EnvGuard untouched("FJ_UNTOUCHED");
    ::setenv("FAKEJLI_ENV", "FJ_A,FJ_EMPTY,FJ_UNTOUCHED", 1);
    Jvm jvm;
    jvm.setPath(FAKEJLI_PATH);
    jvm.addArgument("/exe");
    jvm.addArgument("a b");
    jvm.addArgument("");
    jvm.addArgument("back\\slash\nnewline");
    jvm.addEnvVariable("FJ_A", "1");
    jvm.addEnvVariable("FJ_EMPTY", "");
    RecordingAppender log;
    DefaultLoggerGuard logGuard(log, Logger::TRACE);
    jvm.launch();
    EXPECT_EQ("call\n"
              "argc=4\n"
              "arg=/exe\n"
              "arg=a b\n"
              "arg=\n"
              "arg=back\\\\slash\\nnewline\n"
              "argv_terminated=1\n"
              "params=0,1,0,1,,,java,java,0,0,0,0\n"
              "env:FJ_A=1\n"
              "env:FJ_EMPTY=\n"
              "env:FJ_UNTOUCHED unset\n"
              "end\n",
              readFile(env.recordFile));
    EXPECT_EQ(joinLines({std::string("TRACE|JvmLauncher.cpp|launch|JVM library: \"") +
                         FAKEJLI_PATH + "\""}),
              joinLines(recordsAt(log, "TRACE", "launch")));
    EXPECT_FALSE(isLoaded(FAKEJLI_PATH)) << "the library handles must be closed";
}

TEST(JvmLauncherTest, LaunchFailures) {
    TempDir tmp;
    const std::string textFile = tmp / "libtext.dylib";
    writeFile(textFile, "not a library\n");
    const std::string missing = tmp / "missing.dylib";

    // The loader's own explanations, as the launcher should pass them on.
    auto dlopenError = [](const std::string& path) {
        void* h = ::dlopen(path.c_str(), RTLD_LAZY);
        EXPECT_EQ(nullptr, h) << path;
        const char* e = ::dlerror();
        return std::string(e ? e : "");
    };
    void* noJli = ::dlopen(NOJLI_PATH, RTLD_LAZY);
    ASSERT_NE(nullptr, noJli);
    EXPECT_EQ(nullptr, ::dlsym(noJli, "JLI_Launch"));
    const char* noJliError = ::dlerror();
    const std::string dlsymError = noJliError ? noJliError : "";
    ::dlclose(noJli);

    struct Case {
        std::string path;
        const char* result;
        std::string wantFunc;
        std::string wantMessage;
        bool wantCalled;
    };
    const Case cases[] = {
        {FAKEJLI_PATH, "1", "launch", "Failed to launch JVM", true},
        {FAKEJLI_PATH, "-1", "launch", "Failed to launch JVM", true},
        {FAKEJLI_PATH, "255", "launch", "Failed to launch JVM", true},
        {NOJLI_PATH, "0", "getFunction",
         std::string("dlsym(") + NOJLI_PATH + ", JLI_Launch) failed. Error: " + dlsymError, false},
        {textFile, "0", "loadLibrary",
         "dlopen(" + textFile + ") failed. Error: " + dlopenError(textFile), false},
        {missing, "0", "loadLibrary",
         "dlopen(" + missing + ") failed. Error: " + dlopenError(missing), false},
    };
    for (const Case& c : cases) {
        LaunchEnv env;
        ::setenv("FAKEJLI_RESULT", c.result, 1);
        Jvm jvm;
        jvm.setPath(c.path);
        jvm.addArgument("/exe");
        try {
            jvm.launch();
            ADD_FAILURE() << c.path << " " << c.result << ": launch succeeded";
        } catch (const std::runtime_error& e) {
            const VorlaneErrorBase* v = dynamic_cast<const VorlaneErrorBase*>(&e);
            ASSERT_NE(nullptr, v) << c.path;
            EXPECT_EQ(c.wantMessage, v->rawMessage()) << c.path << " " << c.result;
            const std::string what = e.what();
            const std::string file = c.wantFunc == "launch" ? "JvmLauncher.cpp(" : "UnixDll.cpp(";
            EXPECT_EQ(file, what.substr(0, file.size())) << what;
            EXPECT_NE(std::string::npos, what.find(") at " + c.wantFunc + "(): " + c.wantMessage))
                << what;
        }
        EXPECT_EQ(c.wantCalled, !readFile(env.recordFile).empty()) << c.path << " " << c.result;
        EXPECT_FALSE(isLoaded(c.path.c_str())) << c.path << ": handles must be closed";
    }
}

TEST(JvmLauncherTest, DebugOutputOnlyWhenTheSwitchIsExactlyTrue) {
    Jvm jvm;
    jvm.setPath("/a"); // an odd length, so the arrays that follow are not aligned
    jvm.addArgument("/exe");
    jvm.addArgument("%s %d");
    jvm.addEnvVariable("FJ_DEBUG_A", "x=y");
    jvm.addEnvVariable("FJ_DEBUG_EMPTY", "");
    const std::string debugLines = "jli lib: [/a]\n"
                                   "jli arg[0]: [/exe]\n"
                                   "jli arg[1]: [%s %d]\n"
                                   "env var[0]: FJ_DEBUG_A=[x=y]\n"
                                   "env var[1]: FJ_DEBUG_EMPTY=[]\n"
                                   "log 100% 7 [text]\n";
    struct Case {
        const char* value; // null: unset
        bool wantOutput;
    };
    const Case cases[] = {{"true", true},   {nullptr, false}, {"", false},      {"TRUE", false},
                          {"true ", false}, {" true", false}, {"false", false}, {"1", false}};
    void* lib = nullptr;
    void* launch = fakeJliLaunch(lib);
    ASSERT_NE(nullptr, launch);
    for (const Case& c : cases) {
        LaunchEnv env;
        EnvGuard a("FJ_DEBUG_A");
        EnvGuard empty("FJ_DEBUG_EMPTY", "was set");
        if (c.value) {
            ::setenv("VORLANE_DEBUG", c.value, 1);
        }
        const Record record(jvmLauncherCreateJvmlLauncherData(&api, jvm.exportLauncher(), nullptr));
        ASSERT_TRUE(record);
        FdCapture err;
        const int result = jvmLauncherStartJvm(record.get(), launch);
        jvmLauncherLog("log %s %d [%s]", "100%", 7, "text");
        const std::string output = err.str();
        EXPECT_EQ(0, result);
        EXPECT_EQ(c.wantOutput ? debugLines : "", output) << (c.value ? c.value : "(unset)");
        EXPECT_EQ("x=y", SysInfo::getEnvVariable("FJ_DEBUG_A"));
        EXPECT_EQ("", SysInfo::getEnvVariable("FJ_DEBUG_EMPTY"));
    }
    EXPECT_EQ(-1, jvmLauncherStartJvm(nullptr, launch)) << "no record, no launch";
    ::dlclose(lib);
}

TEST(JvmLauncherTest, FailedSetenvIsReportedAndTheLaunchGoesOn) {
    LaunchEnv env;
    ::setenv("VORLANE_DEBUG", "true", 1);
    ::setenv("FAKEJLI_ENV", "FJ_AFTER", 1);
    EnvGuard after("FJ_AFTER");
    Jvm jvm;
    jvm.setPath(FAKEJLI_PATH);
    jvm.addArgument("/exe");
    jvm.addEnvVariable("BAD=NAME", "v");
    jvm.addEnvVariable("FJ_AFTER", "set");
    FdCapture err;
    jvm.launch();
    const std::string output = err.str();
    EXPECT_NE(std::string::npos, output.find("env var[0]: BAD=NAME=[v]\n"
                                             "env var[1]: FJ_AFTER=[set]\n"
                                             "setenv(0) failed\n"))
        << output;
    EXPECT_NE(std::string::npos, readFile(env.recordFile).find("env:FJ_AFTER=set\n"));
}

} // namespace
