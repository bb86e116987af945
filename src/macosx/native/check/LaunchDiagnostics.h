#ifndef LAUNCHDIAGNOSTICS_H
#define LAUNCHDIAGNOSTICS_H

#include <string>
#include <vector>

#include "CfgDiagnostics.h"
#include "LaunchRecord.h"

// Judges what the launcher decided: the values after expansion, the files they name, the
// runtime and its library, and the command line as the Java runtime will read it; lines gives
// each value its line.
std::vector<Diagnostic> judgeLaunch(const LaunchRecord& record, const CfgDiagnostics& lines);

#endif // LAUNCHDIAGNOSTICS_H
