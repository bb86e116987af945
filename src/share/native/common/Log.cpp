#include "Log.h"

#include "FileUtils.h"
#include "StandardStreams.h"
#include <new>

namespace {

// Constant-initialised: usable before main and never destroyed.
Logger defaultLoggerMemory;
alignas(StreamLogAppender) unsigned char defaultLogAppenderMemory[sizeof(StreamLogAppender)];
int state = 0;

const char* levelName(Logger::LogLevel v) {
    static const char* const names[] = {"TRACE", "INFO", "WARNING", "ERROR"};
    const unsigned idx = static_cast<unsigned>(v);
    return idx < sizeof(names) / sizeof(names[0]) ? names[idx] : "UNKNOWN";
}

} // namespace

void LogEvent::init(PlatformLogEvent&) {}

void LogEvent::appendFormatted(const PlatformLogEvent&, std::string&) {}

void StreamLogAppender::append(const LogEvent& v) {
    // The fallback appender is made before the standard streams are set up.
    setUpStandardStreams();
    std::string platform;
    LogEvent::appendFormatted(v, platform);
    const std::string text =
        (tstrings::any() << "[" << platform << v.fileName << ":" << v.line << " (" << v.funcName
                         << ")]\n\t" << v.levelName << ": " << v.message)
            .str();
    stream << text << std::endl;
}

void TeeLogAppender::append(const LogEvent& v) {
    if (first) {
        first->append(v);
    }
    if (second) {
        second->append(v);
    }
}

Logger& Logger::defaultLogger() {
    Logger& logger = defaultLoggerMemory;
    if (!logger.appender) {
        logger.appender =
            new (defaultLogAppenderMemory) StreamLogAppender(standardOutputForLater());
        logger.discarding = false;
    }
    if (state == 0) {
        state = 1;
        initializeLogging();
        state = 2;
    } else if (state == 1) {
        initializingLogging();
    }
    return logger;
}

Logger& Logger::setAppender(LogAppender& v) {
    appender = &v;
    discarding = dynamic_cast<const NopLogAppender*>(&v) != nullptr;
    return *this;
}

void Logger::initializeLogging() {}

void Logger::initializingLogging() {}

void Logger::log(LogLevel logLevel, const char* file, int line, const char* function,
                 const std::string& message) const {
    LogEvent event;
    LogEvent::init(event);
    event.fileName = FileUtils::basename(file ? file : "");
    event.funcName = function ? function : "";
    event.levelName = levelName(logLevel);
    event.line = line;
    event.message = message;
    // Only a logger that never went through defaultLogger() can be without an appender.
    if (appender) {
        appender->append(event);
    }
}

Logger::ScopeTracer::ScopeTracer(Logger& logger, LogLevel level, const char* file, int line,
                                 const char* function, const std::string& scope)
    : logger(logger), level(level), file(file ? file : ""), line(line),
      func(function ? function : ""), scope(scope), needLog(logger.isWritten(level)) {
    if (needLog) {
        logger.log(level, this->file.c_str(), line, func.c_str(), "Entering " + scope);
    }
}

Logger::ScopeTracer::~ScopeTracer() {
    if (needLog) {
        logger.log(level, file.c_str(), 0, func.c_str(),
                   (tstrings::any() << "Exiting " << scope << " (entered at "
                                    << FileUtils::basename(file) << ":" << line << ")")
                       .str());
    }
}

WithExtraLogAppender::WithExtraLogAppender(LogAppender& v)
    : previous(&Logger::defaultLogger().getAppender()), tee(previous, &v) {
    Logger::defaultLogger().setAppender(tee);
}

WithExtraLogAppender::~WithExtraLogAppender() {
    Logger::defaultLogger().setAppender(*previous);
}
