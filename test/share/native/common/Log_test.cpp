#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "Log.h"
#include "LogTestUtils.h"
#include "TestUtils.h"

namespace {

// Counts its calls, to see whether the parts of a message are evaluated at all.
int countCall(int* count) {
    return ++*count;
}

// Appends "<name>:<message>" to a shared journal, to see the order of forwarding.
class JournalAppender : public LogAppender {
public:
    JournalAppender(std::vector<std::string>& journal, const std::string& name)
        : journal(journal), name(name) {}
    void append(const LogEvent& v) override { journal.push_back(name + ":" + v.message); }

private:
    std::vector<std::string>& journal;
    std::string name;
};

LogEvent makeEvent(const std::string& message) {
    LogEvent e;
    e.levelName = "TRACE";
    e.fileName = "CfgFile.cpp";
    e.line = 42;
    e.funcName = "load";
    e.message = message;
    return e;
}

} // namespace

TEST(Logger, RecordNamesTheLevelAndTakesLastComponentOfFile) {
    struct {
        int level;
        const char* file;
        std::string want;
    } cases[] = {
        {Logger::TRACE, "share/native/applauncher/CfgFile.cpp", "TRACE CfgFile.cpp"},
        {Logger::INFO, "CfgFile.cpp", "INFO CfgFile.cpp"},
        {Logger::WARNING, "C:\\src\\CfgFile.cpp", "WARNING CfgFile.cpp"},
        {Logger::ERROR, "a\\b/c.cpp", "ERROR c.cpp"},
        {4, "dir/", "UNKNOWN "},
        {-1, "", "UNKNOWN "},
        {100, "x.cpp", "UNKNOWN x.cpp"},
        {INT_MIN, "x.cpp", "UNKNOWN x.cpp"},
    };
    for (const auto& c : cases) {
        Logger logger;
        RecordingAppender rec;
        logger.setAppender(rec);
        // log itself does not filter: that is the logging statement's duty.
        LoggerTestAccess::setLevel(logger, static_cast<Logger::LogLevel>(INT_MAX));
        logger.log(static_cast<Logger::LogLevel>(c.level), c.file, -3, "operator()", "two\nlines");
        EXPECT_EQ(std::vector<std::string>{c.want + ":-3 operator(): two\nlines"}, rec.lines())
            << c.level << " " << c.file;
    }
}

TEST(Logger, DefaultLoggerStartsAtTraceAndReinstallsStandardOutputAppender) {
    Logger& logger = Logger::defaultLogger();
    EXPECT_EQ(&logger, &Logger::defaultLogger());
    EXPECT_EQ(Logger::TRACE, LoggerTestAccess::level(logger));

    NopLogAppender nop;
    DefaultLoggerGuard guard(nop);
    LoggerTestAccess::setAppender(logger, nullptr);
    Logger& again = Logger::defaultLogger();
    ASSERT_NE(nullptr, LoggerTestAccess::appender(again));
    CaptureStream out(std::cout);
    CaptureStream err(std::cerr);
    again.log(Logger::INFO, "share/native/common/x.cpp", 9, "func", "to stdout");
    EXPECT_EQ("[x.cpp:9 (func)]\n\tINFO: to stdout\n", out.str());
    EXPECT_EQ("", err.str());
}

// A statement composes its message only for a loggable level and an appender that writes:
// every appender but the no-op one, a tee over the no-op one included.
TEST(Logger, LogStatementComposesMessageOnlyWhenWritten) {
    NopLogAppender nop;
    RecordingAppender rec;
    TeeLogAppender tee(&nop, &rec);
    struct {
        LogAppender* appender;
        Logger::LogLevel threshold;
        std::vector<std::string> want;
    } cases[] = {
        {&rec, Logger::WARNING, {"WARNING warn 1 7"}},
        {&nop, Logger::TRACE, {}},
        {&tee, Logger::TRACE, {"TRACE trace 1", "WARNING warn 2 7"}},
    };
    for (const auto& c : cases) {
        rec.events.clear();
        DefaultLoggerGuard guard(*c.appender, c.threshold);
        int count = 0;
        LOG_TRACE("trace " << countCall(&count));
        LOG_WARNING("warn " << countCall(&count) << " " << 7);
        EXPECT_EQ(c.want.size(), static_cast<size_t>(count));
        std::vector<std::string> got;
        for (const LogEvent& e : rec.events) {
            EXPECT_EQ("Log_test.cpp TestBody", e.fileName + " " + e.funcName);
            got.push_back(e.levelName + " " + e.message);
        }
        EXPECT_EQ(c.want, got);
    }
}

TEST(StreamLogAppender, WritesTwoLinesPerRecord) {
    struct {
        std::string message, output;
    } cases[] = {
        {"Read file", "[CfgFile.cpp:42 (load)]\n\tTRACE: Read file\n"},
        {"", "[CfgFile.cpp:42 (load)]\n\tTRACE: \n"},
        {"a\nb", "[CfgFile.cpp:42 (load)]\n\tTRACE: a\nb\n"},
        {"ends in newline\n", "[CfgFile.cpp:42 (load)]\n\tTRACE: ends in newline\n\n"},
    };
    for (const auto& c : cases) {
        std::ostringstream os;
        StreamLogAppender appender(os);
        appender.append(makeEvent(c.message));
        EXPECT_EQ(c.output, os.str()) << c.message;
    }
}

TEST(TeeLogAppender, ForwardsToFirstThenSecondSkippingNull) {
    std::vector<std::string> journal;
    JournalAppender a(journal, "a");
    JournalAppender b(journal, "b");
    struct {
        LogAppender* first;
        LogAppender* second;
        std::vector<std::string> journal;
    } cases[] = {
        {&a, &b, {"a:m", "b:m"}}, {&b, &a, {"b:m", "a:m"}}, {nullptr, &b, {"b:m"}},
        {&a, nullptr, {"a:m"}},   {nullptr, nullptr, {}},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        journal.clear();
        TeeLogAppender tee(cases[i].first, cases[i].second);
        tee.append(makeEvent("m"));
        EXPECT_EQ(cases[i].journal, journal) << "case " << i;
    }
}

TEST(WithExtraLogAppender, TeesWhileAliveAndRestoresPrevious) {
    std::vector<std::string> journal;
    JournalAppender previous(journal, "previous");
    JournalAppender extra(journal, "extra");
    DefaultLoggerGuard guard(previous);
    {
        WithExtraLogAppender with(extra);
        EXPECT_NE(&previous, &Logger::defaultLogger().getAppender());
        Logger::defaultLogger().log(Logger::TRACE, "f.cpp", 1, "f", "inside");
        {
            // Nesting stacks the tees and unwinds them in order.
            RecordingAppender inner;
            WithExtraLogAppender with2(inner);
            Logger::defaultLogger().log(Logger::TRACE, "f.cpp", 1, "f", "nested");
            EXPECT_EQ(1u, inner.events.size());
        }
    }
    EXPECT_EQ(&previous, &Logger::defaultLogger().getAppender());
    Logger::defaultLogger().log(Logger::TRACE, "f.cpp", 1, "f", "after");
    EXPECT_EQ((std::vector<std::string>{"previous:inside", "extra:inside", "previous:nested",
                                        "extra:nested", "previous:after"}),
              journal);
}

// The tracer decides at construction whether to log, and logs the exit even when left by an
// exception.
TEST(ScopeTracer, DecidesOnceAtConstruction) {
    struct {
        Logger::LogLevel thresholdAtStart, thresholdAtEnd, tracerLevel;
        bool throws;
        const char* wantLevel; // null: no records
    } cases[] = {
        {Logger::TRACE, Logger::TRACE, Logger::TRACE, false, "TRACE"},
        {Logger::WARNING, Logger::WARNING, Logger::TRACE, false, nullptr},
        {Logger::WARNING, Logger::TRACE, Logger::TRACE, false, nullptr},
        {Logger::TRACE, Logger::ERROR, Logger::TRACE, false, "TRACE"},
        {Logger::WARNING, Logger::WARNING, Logger::ERROR, false, "ERROR"},
        {Logger::TRACE, Logger::TRACE, Logger::TRACE, true, "TRACE"},
    };
    for (const auto& c : cases) {
        Logger logger;
        RecordingAppender rec;
        logger.setAppender(rec);
        LoggerTestAccess::setLevel(logger, c.thresholdAtStart);
        try {
            Logger::ScopeTracer tracer(logger, c.tracerLevel, "share/native/common\\a.cpp", 126,
                                       "f", "s");
            LoggerTestAccess::setLevel(logger, c.thresholdAtEnd);
            if (c.throws) {
                throw std::runtime_error("x");
            }
        } catch (const std::runtime_error&) {
        }
        const std::string l = c.wantLevel ? c.wantLevel : "";
        std::vector<std::string> want;
        if (c.wantLevel) {
            want = {l + " a.cpp:126 f: Entering s",
                    l + " a.cpp:0 f: Exiting s (entered at a.cpp:126)"};
        }
        EXPECT_EQ(want, rec.lines())
            << c.thresholdAtStart << c.thresholdAtEnd << c.tracerLevel << c.throws;
    }
}
