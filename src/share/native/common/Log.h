#ifndef LOG_H
#define LOG_H

#include <ostream>
#include <string>

#include "tstrings.h"

// The platform part of a log record; nothing on this platform.
struct PlatformLogEvent {};

class LogEvent : public PlatformLogEvent {
public:
    std::string levelName;
    std::string fileName;
    int line = 0;
    std::string funcName;
    std::string message;

    static void init(PlatformLogEvent& v);
    static void appendFormatted(const PlatformLogEvent& v, std::string& buf);
};

class LogAppender {
public:
    virtual ~LogAppender() {}
    virtual void append(const LogEvent& v) = 0;
};

// Two lines per record: "[file:line (func)]" and a tab-indented "LEVEL: message".
class StreamLogAppender : public LogAppender {
public:
    explicit StreamLogAppender(std::ostream& s) : stream(s) {}
    void append(const LogEvent& v) override;

private:
    std::ostream& stream;
};

class NopLogAppender : public LogAppender {
public:
    void append(const LogEvent&) override {}
};

// Forwards each record to first, then to second; a null one is skipped.
class TeeLogAppender : public LogAppender {
public:
    TeeLogAppender(LogAppender* first, LogAppender* second) : first(first), second(second) {}
    void append(const LogEvent& v) override;

private:
    LogAppender* first;
    LogAppender* second;
};

class Logger {
public:
    // Fixed underlying type: a level outside the four is representable and prints "UNKNOWN".
    enum LogLevel : int { TRACE, INFO, WARNING, ERROR };

    constexpr Logger() : level(TRACE), appender(nullptr), discarding(false) {}

    // The process-wide logger; installs the standard-output appender when none is set.
    static Logger& defaultLogger();

    bool isLoggable(LogLevel v) const { return v >= level; }
    // isLoggable, and the appender keeps records: without debug output no message is composed.
    bool isWritten(LogLevel v) const { return isLoggable(v) && !discarding; }
    // Hands one record to the appender; filtering is the caller's duty.
    void log(LogLevel logLevel, const char* file, int line, const char* function,
             const std::string& message) const;

    Logger& setAppender(LogAppender& v);
    LogAppender& getAppender() const { return *appender; }

    static void initializeLogging();
    static void initializingLogging();

    // Logs "Entering <scope>" now and "Exiting <scope> (entered at file:line)" at destruction.
    class ScopeTracer {
    public:
        ScopeTracer(Logger& logger, LogLevel level, const char* file, int line,
                    const char* function, const std::string& scope);
        ~ScopeTracer();
        ScopeTracer(const ScopeTracer&) = delete;
        ScopeTracer& operator=(const ScopeTracer&) = delete;

    private:
        const Logger& logger;
        const LogLevel level;
        const std::string file;
        const int line;
        const std::string func;
        const std::string scope;
        const bool needLog;
    };

private:
    LogLevel level;
    LogAppender* appender;
    bool discarding;
    friend class LoggerTestAccess;
};

// Tees every record of the default logger to an extra appender while it lives.
class WithExtraLogAppender {
public:
    explicit WithExtraLogAppender(LogAppender& v);
    virtual ~WithExtraLogAppender();
    WithExtraLogAppender(const WithExtraLogAppender&) = delete;
    WithExtraLogAppender& operator=(const WithExtraLogAppender&) = delete;

private:
    LogAppender* previous;
    TeeLogAppender tee;
};

// Logging statements compose their message only when the level is loggable.
#define LOG_AT(level, ...)                                                                         \
    do {                                                                                           \
        const Logger& theLogger_ = Logger::defaultLogger();                                        \
        if (theLogger_.isWritten(level)) {                                                         \
            theLogger_.log(level, __FILE__, __LINE__, __func__,                                    \
                           (tstrings::any() << __VA_ARGS__).str());                                \
        }                                                                                          \
    } while (0)

#define LOG_TRACE(...) LOG_AT(Logger::TRACE, __VA_ARGS__)
#define LOG_WARNING(...) LOG_AT(Logger::WARNING, __VA_ARGS__)

#endif // LOG_H
