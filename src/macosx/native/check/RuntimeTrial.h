#ifndef RUNTIMETRIAL_H
#define RUNTIMETRIAL_H

#include <string>
#include <vector>

#include "LaunchRecord.h"

// The runtime's own verdict on a launch: the bundle's runtime started through the launcher's
// own hand-off, with exactly its arguments and environment, in a child process of a session of
// its own (no terminal, no input), with "--dry-run" (the VM is created and the main class
// loaded; neither main nor the class's initialisation runs) and its settings listed.
namespace RuntimeTrial {

// The arguments the trial hands over: the launch's own, with the dry run and the listing of
// the properties ahead of them.
std::vector<std::string> trialArgs(const std::vector<std::string>& args);

// Starts the trial of launch as start starts it (its environment with the launch's variables
// over it, its working directory) and waits for it, ending its whole session after seconds.
LaunchRecord::Trial run(const LaunchRecord::Launch& launch, const LaunchRecord::Start& start,
                        unsigned seconds);

// Splits the runtime's output into what it said and its listing of the properties.
void parseOutput(const std::string& output, LaunchRecord::Trial& outcome);

} // namespace RuntimeTrial

#endif // RUNTIMETRIAL_H
