#ifndef RUNMODE_H
#define RUNMODE_H

#include <string>
#include <vector>

// A bundle started for real through the trial's machinery, as the check judges a start, for
// tools that need a real run (a class-data archive); its keeper ends all it started.
namespace RunMode {

struct Options {
    // Arguments given to the launcher, which replace the configured ones.
    std::vector<std::string> args;
    // Java options added after the configured ones.
    std::vector<std::string> javaOptions;
    // When the runtime gets SIGTERM: after seconds, or after idle seconds without a class loaded.
    unsigned seconds = 60;
    unsigned idle = 0;
    // Where its standard output and error go ("": nowhere).
    std::string log;
    // Variables set in the start's environment ("NAME=VALUE"; "NAME" alone removes it), and HOME.
    std::vector<std::string> env;
    std::string home;
    bool doubleClick = true;
};

// Runs the bundle of the launcher at launcherPath as options say and prints how it ended as one
// JSON object on standard output; returns 0, else says in one line on standard error why it
// could not run it and returns 1.
int run(const std::string& launcherPath, const Options& options);

} // namespace RunMode

#endif // RUNMODE_H
