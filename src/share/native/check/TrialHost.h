#ifndef TRIALHOST_H
#define TRIALHOST_H

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// What the trial's keeper needs from the system, one unit for each: the table of processes,
// orphans kept as descendants where the system can, and the trial's environment where the host
// reads it otherwise than a Mac.
namespace TrialHost {

struct Process {
    pid_t pid;
    pid_t parent;
    pid_t session;
    // When it started, in the system's own unit: a pid with another start is another process.
    uint64_t started;
};

// Every live process of the system (zombies left out); empty when the table cannot be read.
std::vector<Process> processes();

// Makes the orphans of this process's descendants its children rather than the system's;
// false where the system cannot.
bool keepOrphans();

// Adds to env ("NAME=VALUE" each) what makes this host's runtime read the trial's file names as a
// Mac's does.
void standInForMac(std::vector<std::string>& env);

// Adds to a double-click's environment (NAME to VALUE) what stands in for a Mac's window server on
// this host, as this process has it.
void standInForWindowServer(std::map<std::string, std::string>& env);

// Makes "/" itself refuse new entries for this process and what it starts, as a Mac's read-only
// "/" does, where this host would let the trial write there.
void standInForMacRoot();

} // namespace TrialHost

#endif // TRIALHOST_H
