#ifndef TRIALPROCESS_H
#define TRIALPROCESS_H

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// The trial's two processes, both the check's own executable started again: the keeper, which
// starts the trial and ends it with everything it started, and the trial itself, which hands the
// launch to the runtime through the launcher's own code.
namespace TrialProcess {

// The option that starts the keeper (followed by the seconds the trial may take) and the one
// that starts the trial; neither is for people.
extern const char* const kKeeperOption;
extern const char* const kTrialOption;

// The launch as the trial receives it on its descriptor kLaunchFd.
struct Request {
    std::string libPath;
    std::vector<std::string> args;
    // The whole environment of the start, "NAME=VALUE" each, and the launch's variables over it.
    std::vector<std::string> env;
    std::vector<std::string> envNames;
    std::vector<std::string> envValues;
    std::string workDir;
};

// The descriptors the keeper gets: the request (passed on to the trial) and a socket to the
// check, whose end tells the keeper that the check is gone and on which it answers.
constexpr int kLaunchFd = 3;
constexpr int kCheckFd = 4;

// The check's own executable, as found at the first call (before the check changes its working
// directory); "" when it cannot be found.
const std::string& executable();

// Starts the keeper for a trial of seconds in env (the check's own; this process's when empty)
// with launchFd, checkFd and outputFd (all above kCheckFd) as its kLaunchFd, kCheckFd and
// standard output and error; its pid, else -1 with errno.
pid_t startKeeper(unsigned seconds, const std::map<std::string, std::string>& env, int launchFd,
                  int checkFd, int outputFd);

// request as bytes for decode(): each text ended by a NUL byte (cut at its first), each list
// after its count.
std::string encode(const Request& request);
// Reads what encode() wrote into request; false for anything else. Never throws.
bool decode(const std::string& bytes, Request& request);

// Seconds on the monotonic clock.
double now();

// The keeper's program: starts the trial, waits for its end, the check's end or the deadline,
// ends every process of the trial and answers on kCheckFd: "status N" (128 + the signal's
// number when a signal ended it), "timeout" or "error TEXT". Returns the exit status.
int keeperMain(unsigned seconds);

// The trial's program: reads the request from kLaunchFd, takes its environment and working
// directory, leads a session of its own and hands off; ends the process with the hand-off's
// status, and returns 1 only when it cannot get that far.
int trialMain();

} // namespace TrialProcess

#endif // TRIALPROCESS_H
