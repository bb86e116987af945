#ifndef APP_H
#define APP_H

#include <new>

class LogAppender;

namespace app {

typedef void (*LauncherFunc)();

// True exactly when VORLANE_DEBUG is "true".
bool isWithLogging();

// Runs func with logging set up; returns 0, or 1 when it throws, after printing the error's bare
// message on standard error (through lastErrorLogAppender when not null).
int launch(const std::nothrow_t&, LauncherFunc func, LogAppender* lastErrorLogAppender = nullptr);

} // namespace app

#endif // APP_H
