#include <gtest/gtest.h>

#include "ErrorHandling.h"
#include "LogTestUtils.h"
#include "UnitTestUtils.h"

namespace {

void throwFromHere() {
    throw makeException(tstrings::any() << "bad value " << 5, SOURCE_CODE_POS);
}

} // namespace

TEST(ErrorHandling, MakeExceptionComposesPositionAndKeepsBareMessage) {
    struct {
        const char* file;
        const char* func;
        int line;
        std::string message, what;
    } cases[] = {
        {"share/native/applauncher/CfgFile.cpp", "load", 7, "Failed to open",
         "CfgFile.cpp(7) at load(): Failed to open"},
        {"C:\\src\\share\\X.cpp", "run", 12, "m", "X.cpp(12) at run(): m"},
        {"NoDir.cpp", "f", 0, "m", "NoDir.cpp(0) at f(): m"},
        {"dir/", "f", 1, "m", "(1) at f(): m"},
        {"a/b.cpp", "operator void *", -5, "", "b.cpp(-5) at operator void *(): "},
        {"a/b.cpp", "g", 3, "quote ' and\nnewline", "b.cpp(3) at g(): quote ' and\nnewline"},
    };
    for (const auto& c : cases) {
        const SourceCodePos pos(c.file, c.func, c.line);
        const auto fromText = makeException(c.message.c_str(), pos);
        EXPECT_EQ(c.what, fromText.what()) << c.file;
        EXPECT_EQ(c.message, fromText.rawMessage()) << c.file;
        const auto fromBuilder = makeException(tstrings::any() << c.message, pos);
        EXPECT_EQ(c.what, fromBuilder.what()) << c.file;
        EXPECT_EQ(c.message, fromBuilder.rawMessage()) << c.file;
        EXPECT_EQ(c.what, makeMessage(std::runtime_error(c.message), pos)) << c.file;
    }
}

TEST(ErrorHandling, ThrownErrorIsCaughtAsEitherBaseAndCopiesBothTexts) {
    // The position comes from the compiler; the line number is whatever it is.
    EXPECT_EQ("bad value 5", errorOf(throwFromHere, "ErrorHandling_test.cpp", "throwFromHere"));
    try {
        throwFromHere();
    } catch (const VorlaneErrorBase& e) {
        const auto& error = dynamic_cast<const VorlaneError<std::runtime_error>&>(e);
        const VorlaneError<std::runtime_error> copy(error);
        EXPECT_STREQ(error.what(), copy.what());
        EXPECT_STREQ("bad value 5", copy.rawMessage());
    }
}

TEST(ErrorHandling, ReportsAreOneErrorRecordAtTheCatchingPosition) {
    RecordingAppender rec;
    // Reports bypass the threshold: even one above ERROR lets them through.
    DefaultLoggerGuard guard(rec, static_cast<Logger::LogLevel>(Logger::ERROR + 1));
    const SourceCodePos at("share/native/common/app.cpp", "launch", 182);

    reportError(at, std::runtime_error("plain text"));
    reportError(
        at, makeException("Failed to launch JVM", SourceCodePos("a/JvmLauncher.cpp", "launch", 9)));
    reportUnknownError(at);
    reportError(SourceCodePos("noDir", "f", 3), std::runtime_error(""));

    EXPECT_EQ((std::vector<std::string>{
                  "ERROR app.cpp:182 launch: Exception with message 'plain text' caught",
                  "ERROR app.cpp:182 launch: Exception with message "
                  "'JvmLauncher.cpp(9) at launch(): Failed to launch JVM' caught",
                  "ERROR app.cpp:182 launch: Unknown exception caught",
                  "ERROR noDir:3 f: Exception with message '' caught",
              }),
              rec.lines());
}
