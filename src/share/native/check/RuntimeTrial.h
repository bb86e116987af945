#ifndef RUNTIMETRIAL_H
#define RUNTIMETRIAL_H

#include <functional>
#include <string>
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

// How a watched trial ended, as its keeper answered.
struct Ending {
    // Why there is no end to tell: the keeper's own words, or that it could not be started.
    std::string missing;
    // How the keeper ended without an answer ("was stopped", "was ended by signal 9"); "" when
    // it answered.
    std::string keeperGone;
    // The keeper ended the trial (at the deadline, or asked to), and whether it was asked.
    bool ended = false;
    bool asked = false;
    // The exit status when exited, else the number of the signal that ended it.
    bool exited = false;
    int number = 0;
};

// Starts the trial of launch as start starts it and watches it until it ends: its keeper ends
// it with everything it started at the deadline after seconds, or at the check's own end. Its
// standard output and error go to output (a descriptor), or when that is -1 to tick, which gets
// them in pieces, at least every tenth of a second, and returns true to ask the keeper to end
// the trial. With grace, a start for real: the deadline or the ask gives the trial's group
// SIGTERM and grace seconds to end.
Ending watch(const LaunchRecord::Launch& launch, const LaunchRecord::Start& start, unsigned seconds,
             unsigned grace, int output, const std::function<bool(const std::string&)>& tick);

// request as bytes for decode(): each text ended by a NUL byte (cut at its first: the runtime
// gets C strings, nothing after it would reach it), each list after its count.
std::string encode(const Request& request);
// Reads what encode() wrote into request; false for anything else. Never throws.
bool decode(const std::string& bytes, Request& request);

} // namespace RuntimeTrial

#endif // RUNTIMETRIAL_H
