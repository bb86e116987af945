#include "app.h"

#include <memory>

#include "ErrorHandling.h"
#include "Log.h"
#include "StandardStreams.h"
#include "SysInfo.h"

namespace {

const std::string* theLastErrorMsg = nullptr;

// Prints the text of the error being reported; the record itself is not used.
class LastErrorLogAppender : public LogAppender {
public:
    void append(const LogEvent&) override {
        const std::string msg = theLastErrorMsg ? *theLastErrorMsg : std::string();
        standardError() << msg << std::endl;
    }
};

// "[LEVEL] file:line: message", one line per record.
class StandardLogAppender : public LogAppender {
public:
    void append(const LogEvent& v) override {
        standardError() << (tstrings::any() << "[" << v.levelName << "] " << v.fileName << ":"
                                            << v.line << ": " << v.message << "\n")
                               .str()
                        << std::flush;
    }
};

// Static storage never destroyed: no code runs for the appenders before main or after exit.
alignas(
    LastErrorLogAppender) unsigned char lastErrorLogAppenderMemory[sizeof(LastErrorLogAppender)];

alignas(StandardLogAppender) unsigned char standardLogAppenderMemory[sizeof(StandardLogAppender)];
alignas(NopLogAppender) unsigned char nopLogAppenderMemory[sizeof(NopLogAppender)];

// Once the stage is left, tees the logger to the last-error appender for the error's report.
class SetLoggerAtEndOfScope {
public:
    SetLoggerAtEndOfScope(std::unique_ptr<WithExtraLogAppender>& withLogAppender,
                          LogAppender* lastErrorLogAppender)
        : withLogAppender(withLogAppender), lastErrorLogAppender(lastErrorLogAppender) {}

    ~SetLoggerAtEndOfScope() {
        runReported(SOURCE_CODE_POS, false, [this] {
            withLogAppender.reset(new WithExtraLogAppender(*lastErrorLogAppender));
            return true;
        });
    }

private:
    std::unique_ptr<WithExtraLogAppender>& withLogAppender;
    LogAppender* lastErrorLogAppender;
};

} // namespace

namespace app {

bool isWithLogging() {
    return SysInfo::getEnvVariable(std::nothrow, "VORLANE_DEBUG", std::string()) == "true";
}

int launch(const std::nothrow_t&, LauncherFunc func, LogAppender* lastErrorLogAppender) {
    if (isWithLogging()) {
        Logger::defaultLogger().setAppender(*new (standardLogAppenderMemory) StandardLogAppender());
    } else {
        Logger::defaultLogger().setAppender(*new (nopLogAppenderMemory) NopLogAppender());
    }

    const Logger::ScopeTracer tracer(Logger::defaultLogger(), Logger::TRACE, __FILE__, __LINE__,
                                     __func__, "launch");

    if (!lastErrorLogAppender) {
        lastErrorLogAppender = new (lastErrorLogAppenderMemory) LastErrorLogAppender();
    }
    std::unique_ptr<WithExtraLogAppender> withLogAppender;
    std::string errorMsg;
    int result = 1;
    try {
        {
            const SetLoggerAtEndOfScope setLogger(withLogAppender, lastErrorLogAppender);
            func();
        }
        result = 0;
    } catch (const VorlaneErrorBase& e) {
        errorMsg = (tstrings::any() << e.rawMessage()).str();
        theLastErrorMsg = &errorMsg;
        try {
            throw;
        } catch (const std::runtime_error& rte) {
            reportError(SOURCE_CODE_POS, rte);
        } catch (...) {
            // A VorlaneError over another standard exception must not escape either.
            reportUnknownError(SOURCE_CODE_POS);
        }
    } catch (const std::runtime_error& e) {
        errorMsg = lastCRTError();
        theLastErrorMsg = &errorMsg;
        reportError(SOURCE_CODE_POS, e);
    } catch (...) {
        errorMsg = "Unknown error";
        theLastErrorMsg = &errorMsg;
        reportUnknownError(SOURCE_CODE_POS);
    }
    theLastErrorMsg = nullptr;
    withLogAppender.reset();
    return result;
}

} // namespace app
