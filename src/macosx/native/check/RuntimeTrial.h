#ifndef RUNTIMETRIAL_H
#define RUNTIMETRIAL_H

#include <string>
#include <vector>

#include "LaunchRecord.h"

// The runtime's own verdict on a launch: the bundle's runtime started through the launcher's
// own hand-off, with exactly its arguments and environment, in a child process of a session of
// its own (no terminal, no input) which the check's own executable starts afresh, with "--dry-run"
// (the VM is created and the main class loaded; neither main nor the class's initialisation runs)
// and its settings listed.
namespace RuntimeTrial {

// Starts the trial of launch as start starts it (its environment with the launch's variables
// over it, its working directory) and waits for it; at its end, at the deadline after seconds or
// at the check's own end, every process the trial started ends with it.
LaunchRecord::Trial run(const LaunchRecord::Launch& launch, const LaunchRecord::Start& start,
                        unsigned seconds);

} // namespace RuntimeTrial

#endif // RUNTIMETRIAL_H
