#ifndef TRIALHOST_H
#define TRIALHOST_H

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// What the trial needs from the system, one unit for each: the processes, orphans kept, and
// what stands in for a Mac on another host.
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

// Makes the orphans of this process's descendants its children, where the system can.
void keepOrphans();

// Adds to env ("NAME=VALUE" each) what makes this host's runtime read file names as a Mac's does.
void standInForMac(std::vector<std::string>& env);

// Adds to a double-click's environment what stands in for a Mac's window server on this host.
void standInForWindowServer(std::map<std::string, std::string>& env);

// Makes "/" itself refuse new entries for this process and its children, as a Mac's does.
void standInForMacRoot();

} // namespace TrialHost

#endif // TRIALHOST_H
