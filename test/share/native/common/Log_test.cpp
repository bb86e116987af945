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
        logger.log(static_cast<Logger::LogLevel>(c.level), c.file, -3, "operator()", "two\nlines");
        EXPECT_EQ(std::vector<std::string>{c.want + ":-3 operator(): two\nlines"}, rec.lines())
            << c.level << " " << c.file;
    }
}

TEST(Logger, IsLoggableComparesGreaterOrEqual) {
    Logger logger;
    const Logger::LogLevel levels[] = {Logger::TRACE, Logger::INFO, Logger::WARNING, Logger::ERROR};
    for (Logger::LogLevel threshold : {Logger::TRACE, Logger::WARNING}) {
        LoggerTestAccess::setLevel(logger, threshold);
        std::string got;
        for (Logger::LogLevel level : levels) {
            got += logger.isLoggable(level) ? '1' : '0';
        }
        EXPECT_EQ(threshold == Logger::TRACE ? "1111" : "0011", got);
    }
    // log itself does not filter: that is the logging statement's duty.
    RecordingAppender rec;
    logger.setAppender(rec);
    logger.log(Logger::TRACE, "a.cpp", 1, "f", "still written");
    EXPECT_EQ(std::vector<std::string>{"TRACE a.cpp:1 f: still written"}, rec.lines());
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

TEST(Logger, LogStatementComposesMessageOnlyWhenLoggable) {
    RecordingAppender rec;
    DefaultLoggerGuard guard(rec, Logger::WARNING);
    int count = 0;
    LOG_TRACE("trace " << countCall(&count));
    EXPECT_EQ(0, count);
    EXPECT_TRUE(rec.events.empty());
    LOG_WARNING("warn " << countCall(&count) << " " << 7);
    EXPECT_EQ(1, count);
    ASSERT_EQ(1u, rec.events.size());
    EXPECT_EQ("WARNING Log_test.cpp:" + std::to_string(rec.events[0].line) + " TestBody: warn 1 7",
              rec.lines()[0]);
}

TEST(Logger, NoMessageIsComposedForTheNoOpAppender) {
    NopLogAppender nop;
    int count = 0;
    {
        DefaultLoggerGuard guard(nop);
        EXPECT_TRUE(Logger::defaultLogger().isLoggable(Logger::TRACE));
        EXPECT_FALSE(Logger::defaultLogger().isWritten(Logger::TRACE));
        LOG_TRACE("trace " << countCall(&count));
        LOG_WARNING("warn " << countCall(&count));
        const Logger::ScopeTracer tracer(Logger::defaultLogger(), Logger::TRACE, "a/x.cpp", 3, "f",
                                         "scope");
    }
    EXPECT_EQ(0, count);

    // Any other appender, a tee over the no-op one included, gets every record again.
    RecordingAppender rec;
    TeeLogAppender tee(&nop, &rec);
    DefaultLoggerGuard guard(tee);
    LOG_TRACE("trace " << countCall(&count));
    EXPECT_EQ(1, count);
    ASSERT_EQ(1u, rec.events.size());
    EXPECT_EQ("trace 1", rec.events[0].message);
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

TEST(ScopeTracer, DecidesOnceAtConstruction) {
    struct {
        Logger::LogLevel thresholdAtStart, thresholdAtEnd, tracerLevel;
        const char* wantLevel; // null: no records
    } cases[] = {
        {Logger::TRACE, Logger::TRACE, Logger::TRACE, "TRACE"},
        {Logger::WARNING, Logger::WARNING, Logger::TRACE, nullptr},
        {Logger::WARNING, Logger::TRACE, Logger::TRACE, nullptr},
        {Logger::TRACE, Logger::ERROR, Logger::TRACE, "TRACE"},
        {Logger::WARNING, Logger::WARNING, Logger::ERROR, "ERROR"},
    };
    for (const auto& c : cases) {
        Logger logger;
        RecordingAppender rec;
        logger.setAppender(rec);
        LoggerTestAccess::setLevel(logger, c.thresholdAtStart);
        {
            Logger::ScopeTracer tracer(logger, c.tracerLevel, "share/native/common\\a.cpp", 126,
                                       "f", "s");
            LoggerTestAccess::setLevel(logger, c.thresholdAtEnd);
        }
        const std::string l = c.wantLevel ? c.wantLevel : "";
        std::vector<std::string> want;
        if (c.wantLevel) {
            want = {l + " a.cpp:126 f: Entering s",
                    l + " a.cpp:0 f: Exiting s (entered at a.cpp:126)"};
        }
        EXPECT_EQ(want, rec.lines()) << c.thresholdAtStart << c.thresholdAtEnd << c.tracerLevel;
    }
}

TEST(ScopeTracer, LogsExitWhenLeftByException) {
    Logger logger;
    RecordingAppender rec;
    logger.setAppender(rec);
    EXPECT_THROW(
        {
            Logger::ScopeTracer tracer(logger, Logger::TRACE, "b.cpp", 3, "g", "work");
            throw std::runtime_error("x");
        },
        std::runtime_error);
    EXPECT_EQ((std::vector<std::string>{"TRACE b.cpp:3 g: Entering work",
                                        "TRACE b.cpp:0 g: Exiting work (entered at b.cpp:3)"}),
              rec.lines());
}
