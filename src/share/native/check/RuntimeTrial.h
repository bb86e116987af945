#ifndef RUNTIMETRIAL_H
#define RUNTIMETRIAL_H

#include <functional>
#include <string>
#include <vector>

#include "LaunchRecord.h"

// The runtime's own verdict on a launch: the bundle's runtime started through the launcher's
// own hand-off, exactly as launched, with "--dry-run" (the VM is created and the main class
// loaded, nothing of it runs) and its settings listed. The check's own executable is started
// again twice for it: a keeper, which ends the trial with everything it started, and the trial,
// in a session of its own, which reads its launch from a pipe.
namespace RuntimeTrial {

// The trial of launch as start starts it, ended with everything it started at the deadline
// after seconds or at the check's own end.
LaunchRecord::Trial run(const LaunchRecord::Launch& launch, const LaunchRecord::Start& start,
                        unsigned seconds);

// Runs the keeper or the trial when the command line is one of theirs and returns its exit
// status, else -1; must come before anything changes the working directory.
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

// How a watched trial ended: why there is no end to tell (missing; keeperGone: how the keeper
// ended without an answer, "was stopped"), else whether the keeper ended it (at the deadline or
// asked) and its exit status or signal.
struct Ending {
    std::string missing;
    std::string keeperGone;
    bool ended = false;
    bool asked = false;
    bool exited = false; // number is the exit status, else the signal
    int number = 0;
};

// Starts the trial of launch as start starts it and watches it until it ends, its keeper ends
// it (at the deadline after seconds) or the check does. Its output goes to output, or when that
// is -1 to tick, called about every tenth of a second, which returns true to ask for its end.
// With grace, a start for real: the deadline or the ask gives SIGTERM and grace seconds first.
Ending watch(const LaunchRecord::Launch& launch, const LaunchRecord::Start& start, unsigned seconds,
             unsigned grace, int output, const std::function<bool(const std::string&)>& tick);

// Seconds on the monotonic clock.
double now();

// request as bytes for decode(): each text ended by a NUL byte (cut at its first: the runtime
// gets C strings, nothing after it would reach it), each list after its count.
std::string encode(const Request& request);
// Reads what encode() wrote into request; false for anything else. Never throws.
bool decode(const std::string& bytes, Request& request);

} // namespace RuntimeTrial

#endif // RUNTIMETRIAL_H
