#ifndef APP_H
#define APP_H

#include <new>

class LogAppender;

namespace app {

typedef void (*LauncherFunc)();

// True exactly when VORLANE_DEBUG is "true".
bool isWithLogging();

// Runs func with logging set up; returns 0 when it returns, 1 when it throws, after printing
// the error's bare message on standard error. A null lastErrorLogAppender selects the
// built-in one.
int launch(const std::nothrow_t&, LauncherFunc func, LogAppender* lastErrorLogAppender = nullptr);

} // namespace app

#endif // APP_H
