#ifndef STANDIN_H
#define STANDIN_H

#include <functional>
#include <string>

#include "LaunchRecord.h"

// An installed runtime that stands in for a bundle's runtime which cannot run on this machine
// (a Mac bundle checked on Linux, a runtime of another architecture), for the trial start.
namespace StandIn {

// The Java home named by given, else by JAVA_HOME, else where `java` on PATH really lies (on a
// Mac, also what /usr/libexec/java_home names); "" when none holds a launch library.
std::string find(const std::string& given);

// Why the runtime at home cannot stand in for the bundle's runtime in runtimeHome (none, or
// not of its feature version, as their release files say); "" when it can.
std::string whyNot(const std::string& runtimeHome, const std::string& home);

// The launch as the stand-in at home makes it: its launch library, limited to the modules of
// the bundle's runtime in runtimeHome, without the options only a Mac accepts.
LaunchRecord::Launch adapt(const LaunchRecord::Launch& launch, const std::string& runtimeHome,
                           const std::string& home);

// Which runtime judges in adapt's launch, and what it sets aside, on which lines.
std::string note(const LaunchRecord::Launch& launch, const std::string& runtimeHome,
                 const std::string& home, const std::function<size_t(const ValueRef&)>& lineOf);

} // namespace StandIn

#endif // STANDIN_H
