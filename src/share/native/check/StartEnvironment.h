#ifndef STARTENVIRONMENT_H
#define STARTENVIRONMENT_H

#include <map>
#include <string>
#include <vector>

#include "LaunchRecord.h"

// Where the launch that the check judges starts: by default a double-click (Finder, the Dock,
// open), which has launchd start the launcher in "/" with launchd's few variables and the
// bundle's LSEnvironment; else a start typed in the check's own shell.
namespace StartEnvironment {

// The start of the launcher at launcherPath: a double-click, or typed in this shell.
LaunchRecord::Start of(const std::string& launcherPath, bool doubleClick);

// Sets the variables of settings in start's environment: "NAME=VALUE" sets NAME, "NAME" alone
// removes it.
void set(LaunchRecord::Start& start, const std::vector<std::string>& settings);

// Makes env this process's whole environment.
void replace(const std::vector<std::string>& env);

// Puts a start's environment and working directory in place in this process, where the
// launcher's start-up reads them, and puts the check's own back at its end.
class Scope {
public:
    explicit Scope(const LaunchRecord::Start& start);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    std::vector<std::string> savedEnv;
    std::string savedDir;
};

} // namespace StartEnvironment

#endif // STARTENVIRONMENT_H
