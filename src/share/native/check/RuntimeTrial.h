#ifndef RUNTIMETRIAL_H
#define RUNTIMETRIAL_H

#include <string>
#include <sys/types.h>
#include <vector>

#include "LaunchRecord.h"

// The runtime's own verdict on a launch: the bundle's runtime started through the launcher's
// own hand-off, with exactly its arguments and environment, with "--dry-run" (the VM is created
// and the main class loaded; neither main nor the class's initialisation runs) and its settings
// listed. The check's own executable is started again twice for it: a keeper, which ends the
// trial with everything it started, and the trial, in a session of its own (no terminal, no
// input), which reads its launch from a pipe.
namespace RuntimeTrial {

// Starts the trial of launch as start starts it (its environment with the launch's variables
// over it, its working directory) and waits for it; at its end, at the deadline after seconds or
// at the check's own end, every process the trial started ends with it.
LaunchRecord::Trial run(const LaunchRecord::Launch& launch, const LaunchRecord::Start& start,
                        unsigned seconds);

// Runs the keeper or the trial when the command line is one of theirs and returns its exit
// status; -1 for any other command line. Finds the check's own executable, which run() starts
// again, and so must come before anything changes the working directory.
int processMain(int argc, char* argv[]);

// The launch as the trial receives it from the check.
struct Request {
    std::string libPath;
    std::vector<std::string> args;
    // The whole environment of the start, "NAME=VALUE" each, and the launch's variables over it.
    std::vector<std::string> env;
    std::vector<std::string> envNames;
    std::vector<std::string> envValues;
    std::string workDir;
};

// A keeper started for a trial: its pid and the check's end of its socket (-1 each when it could
// not be started, and why in error).
struct Keeper {
    pid_t pid = -1;
    int socket = -1;
    std::string error;
};

// Starts the keeper of a trial of request as start starts it, with output (a descriptor) as the
// trial's standard output and error. The keeper ends the trial with everything it started at
// the deadline after seconds or when the socket closes, and answers on it how the trial ended
// ("status N", "signal N"), after its first line "trial PID\n". With grace, a start for real: the
// deadline, or a byte written to the socket, gives the trial's group SIGTERM and grace seconds to
// end, and the answer "ended " first.
Keeper startKeeper(const Request& request, const LaunchRecord::Start& start, unsigned seconds,
                   unsigned grace, int output);
// True when the keeper is stopped (by the trial, say) and so watches nothing; it is killed then.
bool killIfStopped(const Keeper& keeper);
// Takes the keeper's first answer, "trial PID\n", off answer: the trial's pid, 0 when not there.
pid_t takeTrialPid(std::string& answer);
// Ends every process of the trial (trial: its pid, 0 when unknown) that its keeper left.
void endLeftOf(pid_t trial);

// request as bytes for decode(): each text ended by a NUL byte (cut at its first: the runtime
// gets C strings, nothing after it would reach it), each list after its count.
std::string encode(const Request& request);
// Reads what encode() wrote into request; false for anything else. Never throws.
bool decode(const std::string& bytes, Request& request);

} // namespace RuntimeTrial

#endif // RUNTIMETRIAL_H
