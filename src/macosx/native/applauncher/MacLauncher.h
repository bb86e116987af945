#ifndef MACLAUNCHER_H
#define MACLAUNCHER_H

#include <string>
#include <vector>

#include "AppLauncher.h"
#include "JvmLauncher.h"

class MacBundle;

// The launcher's start-up in its bundle and its entry point: the one road to the hand-off.
namespace MacLauncher {

// Told what the start-up finds besides the launcher's own decisions.
class Observer : public AppLauncher::Observer {
public:
    // The bundle around the launcher: its directories and its package.
    virtual void onBundle(const MacBundle& bundle) = 0;
    // HOME as read, when the package's name makes the user's configuration looked for.
    virtual void onHomeDir(bool isSet, const std::string& value) = 0;

protected:
    ~Observer() = default;
};

// A caller-owned launch description of launcherPath started with args, told observer; throws.
Jvm* initJvmLauncher(const std::string& launcherPath, const std::vector<std::string>& args,
                     Observer* observer = nullptr);

// Publishes jvm (owned from here on) as the process's launch and hands it to the runtime; throws.
void launch(Jvm* jvm);

// True once a launch is published: an entry into the program now is a later one.
bool isLaunching();

// The exit status of an entry: the first starts up, one by the runtime repeats the hand-off.
int main(int argc, char* argv[]);

} // namespace MacLauncher

#endif // MACLAUNCHER_H
