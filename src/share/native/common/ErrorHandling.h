#ifndef ERRORHANDLING_H
#define ERRORHANDLING_H

#include <stdexcept>
#include <string>

#include "tstrings.h"

// Where a throw, catch or logging statement stands in the source.
struct SourceCodePos {
    SourceCodePos(const char* fl, const char* fnc, int l) : file(fl), func(fnc), line(l) {}
    const char* file;
    const char* func;
    int line;
};

#define SOURCE_CODE_POS SourceCodePos(__FILE__, __func__, __LINE__)

// The bare message of an error, without the source position that what() puts in front.
class VorlaneErrorBase {
public:
    virtual const char* rawMessage() const = 0;

protected:
    ~VorlaneErrorBase() = default;
};

// "<file>(<line>) at <func>(): <what>" for the exception e thrown at pos.
std::string makeMessage(const std::runtime_error& e, const SourceCodePos& pos);

template <class Base> class VorlaneError : public VorlaneErrorBase, public Base {
public:
    VorlaneError(const Base& e, const SourceCodePos& pos) : Base(e), msg(makeMessage(e, pos)) {}

    const char* rawMessage() const override { return Base::what(); }
    const char* what() const noexcept override { return msg.c_str(); }

private:
    std::string msg;
};

VorlaneError<std::runtime_error> makeException(const tstrings::any& message,
                                               const SourceCodePos& pos);
VorlaneError<std::runtime_error> makeException(const char* message, const SourceCodePos& pos);

// Logs one ERROR record "Exception with message '<what>' caught" at the catching position.
void reportError(const SourceCodePos& pos, const std::runtime_error& e);
// Logs one ERROR record "Unknown exception caught" at the catching position.
void reportUnknownError(const SourceCodePos& pos);

// f's result, or fallback when f throws: what it threw is then reported at pos, which catches it.
template <class R, class F> R runReported(const SourceCodePos& pos, R fallback, F f) {
    try {
        return f();
    } catch (const std::runtime_error& e) {
        reportError(pos, e);
    } catch (...) {
        reportUnknownError(pos);
    }
    return fallback;
}

// The system's text for the current errno.
std::string lastCRTError();

#endif // ERRORHANDLING_H
