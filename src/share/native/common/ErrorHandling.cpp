#include "ErrorHandling.h"

#include <cerrno>
#include <cstring>

#include "FileUtils.h"
#include "Log.h"

namespace {

std::string getFilename(const SourceCodePos& pos) {
    return FileUtils::basename(pos.file ? pos.file : "");
}

void reportError(const SourceCodePos& pos, const std::string& msg) {
    Logger::defaultLogger().log(Logger::ERROR, getFilename(pos).c_str(), pos.line, pos.func, msg);
}

} // namespace

std::string makeMessage(const std::runtime_error& e, const SourceCodePos& pos) {
    return (tstrings::any() << getFilename(pos) << "(" << pos.line << ") at " << pos.func
                            << "(): " << e.what())
        .str();
}

VorlaneError<std::runtime_error> makeException(const tstrings::any& message,
                                               const SourceCodePos& pos) {
    return VorlaneError<std::runtime_error>(std::runtime_error(message.str()), pos);
}

VorlaneError<std::runtime_error> makeException(const char* message, const SourceCodePos& pos) {
    return VorlaneError<std::runtime_error>(std::runtime_error(message ? message : ""), pos);
}

void reportError(const SourceCodePos& pos, const std::runtime_error& e) {
    reportError(pos,
                (tstrings::any() << "Exception with message '" << e.what() << "' caught").str());
}

void reportUnknownError(const SourceCodePos& pos) {
    reportError(pos, "Unknown exception caught");
}

std::string lastCRTError() {
    return std::strerror(errno);
}
