#ifndef LOGTESTUTILS_H
#define LOGTESTUTILS_H

#include <string>
#include <vector>

#include "Log.h"

// Reaches the logger's private state: the threshold and the raw appender pointer.
class LoggerTestAccess {
public:
    static Logger::LogLevel level(const Logger& logger) { return logger.level; }
    static void setLevel(Logger& logger, Logger::LogLevel v) { logger.level = v; }
    static LogAppender* appender(const Logger& logger) { return logger.appender; }
    static void setAppender(Logger& logger, LogAppender* v) {
        if (v) {
            logger.setAppender(*v);
        } else {
            logger.appender = nullptr;
            logger.discarding = false;
        }
    }
};

// Keeps a copy of every record it is given.
class RecordingAppender : public LogAppender {
public:
    void append(const LogEvent& v) override { events.push_back(v); }

    // "LEVEL file:line func: message" per record, for comparing whole sequences at once.
    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        for (const LogEvent& e : events) {
            result.push_back(e.levelName + " " + e.fileName + ":" + std::to_string(e.line) + " " +
                             e.funcName + ": " + e.message);
        }
        return result;
    }

    std::vector<LogEvent> events;
};

// Installs an appender (and optionally a threshold) on the default logger; puts back the
// previous appender pointer and threshold at destruction.
class DefaultLoggerGuard {
public:
    explicit DefaultLoggerGuard(LogAppender& v)
        : logger(Logger::defaultLogger()), oldAppender(LoggerTestAccess::appender(logger)),
          oldLevel(LoggerTestAccess::level(logger)) {
        logger.setAppender(v);
    }
    DefaultLoggerGuard(LogAppender& v, Logger::LogLevel level) : DefaultLoggerGuard(v) {
        LoggerTestAccess::setLevel(logger, level);
    }
    ~DefaultLoggerGuard() {
        LoggerTestAccess::setAppender(logger, oldAppender);
        LoggerTestAccess::setLevel(logger, oldLevel);
    }
    DefaultLoggerGuard(const DefaultLoggerGuard&) = delete;
    DefaultLoggerGuard& operator=(const DefaultLoggerGuard&) = delete;

private:
    Logger& logger;
    LogAppender* oldAppender;
    Logger::LogLevel oldLevel;
};

#endif // LOGTESTUTILS_H
