#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <regex>
#include <stdexcept>

#include "ErrorHandling.h"
#include "Log.h"
#include "LogTestUtils.h"
#include "TestUtils.h"
#include "app.h"

namespace {

// Line numbers come from the compiler: replace every non-zero one after a source file name
// by "<n>" so that the expected texts name files and functions only. Line 0 stays.
std::string normalizeLines(const std::string& text) {
    const std::regex afterColon("(\\.cpp):[1-9][0-9]*");
    const std::regex inParens("(\\.cpp)\\([0-9]+\\)");
    return std::regex_replace(std::regex_replace(text, afterColon, "$1:<n>"), inParens, "$1(<n>)");
}

void okStage() {
    LOG_TRACE("stage ran");
}

void failingStage() {
    LOG_TRACE("about to fail");
    throw makeException("Failed to launch JVM", SOURCE_CODE_POS);
}

void runtimeErrorStage() {
    errno = ENOENT;
    throw std::runtime_error("plain");
}

void intStage() {
    throw 42;
}

void badAllocStage() {
    throw std::bad_alloc();
}

void logicErrorStage() {
    throw std::logic_error("logic");
}

// Carries a bare message without being a standard runtime error.
class OddError : public VorlaneErrorBase {
public:
    const char* rawMessage() const override { return "odd"; }
};

void oddErrorStage() {
    throw OddError();
}

// A second entry into the frame while the first one's stage is still running.
void nestedStage() {
    if (app::launch(std::nothrow, failingStage) != 1) {
        throw makeException("inner launch did not fail", SOURCE_CODE_POS);
    }
    LOG_TRACE("outer continues");
    throw makeException(tstrings::any() << "outer "
                                        << "failed",
                        SOURCE_CODE_POS);
}

struct LaunchResult {
    int status;
    std::string err;
    std::string out;
};

LaunchResult launch(app::LauncherFunc stage, LogAppender* lastErrorAppender = nullptr) {
    CaptureStream out(std::cout);
    CaptureStream err(std::cerr);
    const int status = app::launch(std::nothrow, stage, lastErrorAppender);
    return {status, err.str(), out.str()};
}

// Every test leaves the default logger as it found it.
class AppLaunch : public ::testing::Test {
protected:
    NopLogAppender nop;
    DefaultLoggerGuard loggerGuard{nop};
};

const char* const ENTERING = "[TRACE] app.cpp:<n>: Entering launch\n";
const char* const EXITING = "[TRACE] app.cpp:0: Exiting launch (entered at app.cpp:<n>)\n";

} // namespace

TEST_F(AppLaunch, IsWithLoggingOnlyForExactlyTrue) {
    struct {
        const char* value; // null: unset
        bool expected;
    } cases[] = {
        {nullptr, false}, {"", false},      {"TRUE", false},  {"True", false}, {"1", false},
        {"true ", false}, {" true", false}, {"truee", false}, {"true", true},
    };
    for (const auto& c : cases) {
        EnvGuard env("VORLANE_DEBUG");
        if (c.value) {
            ::setenv("VORLANE_DEBUG", c.value, 1);
        }
        EXPECT_EQ(c.expected, app::isWithLogging()) << (c.value ? c.value : "(unset)");
    }
}

TEST_F(AppLaunch, WithoutDebugPrintsOnlyTheLastErrorLine) {
    const std::string enoent = std::string(std::strerror(ENOENT)) + "\n";
    struct {
        const char* name;
        app::LauncherFunc stage;
        int status;
        std::string err;
    } stages[] = {
        {"ok", okStage, 0, ""},
        {"VorlaneError", failingStage, 1, "Failed to launch JVM\n"},
        {"runtime_error", runtimeErrorStage, 1, enoent},
        {"int", intStage, 1, "Unknown error\n"},
        {"bad_alloc", badAllocStage, 1, "Unknown error\n"},
        {"logic_error", logicErrorStage, 1, "Unknown error\n"},
        {"odd error", oddErrorStage, 1, "odd\n"},
        {"nested", nestedStage, 1, "Failed to launch JVM\nouter failed\n"},
    };
    const char* debugValues[] = {nullptr, "", "TRUE", "1", "true ", " true"};
    for (const char* debug : debugValues) {
        EnvGuard env("VORLANE_DEBUG");
        if (debug) {
            ::setenv("VORLANE_DEBUG", debug, 1);
        }
        for (const auto& s : stages) {
            const LaunchResult r = launch(s.stage);
            const std::string where =
                std::string(s.name) + " with VORLANE_DEBUG=" + (debug ? debug : "(unset)");
            EXPECT_EQ(s.status, r.status) << where;
            EXPECT_EQ(s.err, r.err) << where;
            EXPECT_EQ("", r.out) << where;
        }
    }
}

TEST_F(AppLaunch, WithDebugPrintsTheLogThenTheLastErrorLine) {
    const std::string enoent = std::string(std::strerror(ENOENT)) + "\n";
    const std::string error = "[ERROR] app.cpp:<n>: ";
    struct {
        const char* name;
        app::LauncherFunc stage;
        int status;
        std::string err;
    } stages[] = {
        {"ok", okStage, 0,
         std::string(ENTERING) + "[TRACE] app_test.cpp:<n>: stage ran\n" + EXITING},
        {"VorlaneError", failingStage, 1,
         std::string(ENTERING) + "[TRACE] app_test.cpp:<n>: about to fail\n" + error +
             "Exception with message 'app_test.cpp(<n>) at failingStage(): Failed to launch "
             "JVM' caught\n" +
             "Failed to launch JVM\n" + EXITING},
        {"runtime_error", runtimeErrorStage, 1,
         std::string(ENTERING) + error + "Exception with message 'plain' caught\n" + enoent +
             EXITING},
        {"int", intStage, 1,
         std::string(ENTERING) + error + "Unknown exception caught\nUnknown error\n" + EXITING},
        {"odd error", oddErrorStage, 1,
         std::string(ENTERING) + error + "Unknown exception caught\nodd\n" + EXITING},
        {"nested", nestedStage, 1,
         std::string(ENTERING) + ENTERING + "[TRACE] app_test.cpp:<n>: about to fail\n" + error +
             "Exception with message 'app_test.cpp(<n>) at failingStage(): Failed to launch "
             "JVM' caught\n" +
             "Failed to launch JVM\n" + EXITING + "[TRACE] app_test.cpp:<n>: outer continues\n" +
             error +
             "Exception with message 'app_test.cpp(<n>) at nestedStage(): outer failed' "
             "caught\n" +
             "outer failed\n" + EXITING},
    };
    EnvGuard env("VORLANE_DEBUG", "true");
    for (const auto& s : stages) {
        const LaunchResult r = launch(s.stage);
        EXPECT_EQ(s.status, r.status) << s.name;
        EXPECT_EQ(s.err, normalizeLines(r.err)) << s.name;
        EXPECT_EQ("", r.out) << s.name;
    }
}

TEST_F(AppLaunch, GivenLastErrorAppenderGetsOnlyTheErrorReport) {
    for (const char* debug : {"false", "true"}) {
        EnvGuard env("VORLANE_DEBUG", debug);
        RecordingAppender lastError;
        const LaunchResult failed = launch(failingStage, &lastError);
        EXPECT_EQ(1, failed.status) << debug;
        ASSERT_EQ(1u, lastError.events.size()) << debug;
        const LogEvent& e = lastError.events[0];
        EXPECT_EQ("ERROR", e.levelName);
        EXPECT_EQ("app.cpp", e.fileName);
        EXPECT_EQ("launch", e.funcName);
        EXPECT_EQ("Exception with message 'app_test.cpp(<n>) at failingStage(): Failed to "
                  "launch JVM' caught",
                  normalizeLines(e.message));

        lastError.events.clear();
        EXPECT_EQ(0, launch(okStage, &lastError).status) << debug;
        EXPECT_TRUE(lastError.events.empty()) << debug;
    }
    EnvGuard env("VORLANE_DEBUG");
    RecordingAppender lastError;
    EXPECT_EQ("", launch(failingStage, &lastError).err);
}

TEST_F(AppLaunch, LeavesTheChosenAppenderInstalled) {
    struct {
        const char* debug;
        std::string afterwards;
    } cases[] = {
        {"true", "[TRACE] app_test.cpp:<n>: after\n"},
        {"false", ""},
    };
    for (const auto& c : cases) {
        EnvGuard env("VORLANE_DEBUG", c.debug);
        RecordingAppender before;
        Logger::defaultLogger().setAppender(before);
        for (app::LauncherFunc stage : {okStage, failingStage, intStage}) {
            launch(stage);
            EXPECT_TRUE(before.events.empty()) << c.debug;
            CaptureStream out(std::cout);
            CaptureStream err(std::cerr);
            LOG_TRACE("after");
            EXPECT_EQ(c.afterwards, normalizeLines(err.str())) << c.debug;
            EXPECT_EQ("", out.str()) << c.debug;
        }
    }
}
