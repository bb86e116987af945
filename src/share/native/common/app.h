#ifndef APP_H
#define APP_H

#include <new>

class LogAppender;

namespace app {

typedef void (*LauncherFunc)();

// True exactly when VORLANE_DEBUG is "true".
bool isWithLogging();

// Runs func with logging set up: 0, or 1 once lastErrorLogAppender (or stderr) has the error.
int launch(const std::nothrow_t&, LauncherFunc func, LogAppender* lastErrorLogAppender = nullptr);

} // namespace app

#endif // APP_H
