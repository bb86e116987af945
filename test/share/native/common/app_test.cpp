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

// Carries a bare message without being a standard runtime error.
class OddError : public VorlaneErrorBase {
public:
    const char* rawMessage() const override { return "odd"; }
};

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

} // namespace

// Without debug output only the last error line is printed; with it (VORLANE_DEBUG exactly
// "true"), the log comes first.
TEST_F(AppLaunch, StatusAndStandardError) {
    const std::string enoent = std::string(std::strerror(ENOENT)) + "\n";
    const std::string in = "[TRACE] app.cpp:<n>: Entering launch\n";
    const std::string out = "[TRACE] app.cpp:0: Exiting launch (entered at app.cpp:<n>)\n";
    const std::string error = "[ERROR] app.cpp:<n>: ";
    const std::string failed = error + "Exception with message 'app_test.cpp(<n>) at "
                                       "failingStage(): Failed to launch JVM' caught\n"
                                       "Failed to launch JVM\n";
    const std::string unknown = error + "Unknown exception caught\n";
    struct {
        const char* name;
        app::LauncherFunc stage;
        int status;
        std::string err, debugErr;
    } stages[] = {
        {"ok", okStage, 0, "", in + "[TRACE] app_test.cpp:<n>: stage ran\n" + out},
        {"VorlaneError", failingStage, 1, "Failed to launch JVM\n",
         in + "[TRACE] app_test.cpp:<n>: about to fail\n" + failed + out},
        {"runtime_error",
         [] {
             errno = ENOENT;
             throw std::runtime_error("plain");
         },
         1, enoent, in + error + "Exception with message 'plain' caught\n" + enoent + out},
        {"int", [] { throw 42; }, 1, "Unknown error\n", in + unknown + "Unknown error\n" + out},
        {"bad_alloc", [] { throw std::bad_alloc(); }, 1, "Unknown error\n",
         in + unknown + "Unknown error\n" + out},
        {"logic_error", [] { throw std::logic_error("logic"); }, 1, "Unknown error\n",
         in + unknown + "Unknown error\n" + out},
        {"odd error", [] { throw OddError(); }, 1, "odd\n", in + unknown + "odd\n" + out},
        {"nested", nestedStage, 1, "Failed to launch JVM\nouter failed\n",
         in + in + "[TRACE] app_test.cpp:<n>: about to fail\n" + failed + out +
             "[TRACE] app_test.cpp:<n>: outer continues\n" + error +
             "Exception with message 'app_test.cpp(<n>) at nestedStage(): outer failed' caught\n"
             "outer failed\n" +
             out},
    };
    for (const char* debug :
         {"(unset)", "", "TRUE", "True", "1", "true ", " true", "truee", "true"}) {
        EnvGuard env("VORLANE_DEBUG");
        if (std::string(debug) != "(unset)") {
            ::setenv("VORLANE_DEBUG", debug, 1);
        }
        for (const auto& s : stages) {
            const LaunchResult r = launch(s.stage);
            const std::string where = std::string(s.name) + " with VORLANE_DEBUG=" + debug;
            EXPECT_EQ(s.status, r.status) << where;
            EXPECT_EQ(std::string(debug) == "true" ? s.debugErr : s.err, normalizeLines(r.err))
                << where;
            EXPECT_EQ("", r.out) << where;
        }
    }
}

TEST_F(AppLaunch, GivenLastErrorAppenderGetsOnlyTheErrorReport) {
    for (const char* debug : {"false", "true"}) {
        EnvGuard env("VORLANE_DEBUG", debug);
        RecordingAppender lastError;
        const LaunchResult failed = launch(failingStage, &lastError);
        EXPECT_EQ(1, failed.status) << debug;
        ASSERT_EQ(1u, lastError.events.size()) << debug;
        EXPECT_EQ("ERROR app.cpp:<n> launch: Exception with message 'app_test.cpp(<n>) at "
                  "failingStage(): Failed to launch JVM' caught",
                  normalizeLines(lastError.lines()[0]));

        lastError.events.clear();
        EXPECT_EQ(0, launch(okStage, &lastError).status) << debug;
        EXPECT_TRUE(lastError.events.empty()) << debug;
    }
    EnvGuard env("VORLANE_DEBUG");
    RecordingAppender lastError;
    EXPECT_EQ("", launch(failingStage, &lastError).err);
}

TEST_F(AppLaunch, LeavesTheChosenAppenderInstalled) {
    for (const char* debug : {"true", "false"}) {
        EnvGuard env("VORLANE_DEBUG", debug);
        RecordingAppender before;
        Logger::defaultLogger().setAppender(before);
        for (app::LauncherFunc stage : {okStage, failingStage, nestedStage}) {
            launch(stage);
            EXPECT_TRUE(before.events.empty()) << debug;
            CaptureStream out(std::cout);
            CaptureStream err(std::cerr);
            LOG_TRACE("after");
            EXPECT_EQ(std::string(debug) == "true" ? "[TRACE] app_test.cpp:<n>: after\n" : "",
                      normalizeLines(err.str()))
                << debug;
            EXPECT_EQ("", out.str()) << debug;
        }
    }
}
