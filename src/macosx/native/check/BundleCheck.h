#ifndef BUNDLECHECK_H
#define BUNDLECHECK_H

#include <iosfwd>
#include <string>
#include <vector>

#include "CfgDiagnostics.h"
#include "LaunchRecord.h"

// Has a bundle's launcher go through its start-up up to the hand-off to the runtime, records
// every decision the launcher reports on the way, and judges them. Never calls JLI_Launch and
// sets no environment variable.
class BundleCheck {
public:
    // The launcher at launcherPath (absolute, resolved), started with args.
    BundleCheck(const std::string& launcherPath, const std::vector<std::string>& args);

    // Runs the start-up; throws the launcher's own error where the launcher would fail, with
    // everything recorded and judged until then kept.
    void run();

    // What was recorded, for people: configuration, expansion, runtime, command line.
    void printReport(std::ostream& out) const;
    // The findings as "<configuration>:<line>: warning: <text>" (or "error:") lines.
    void printDiagnostics(std::ostream& out) const;

    const LaunchRecord& record() const { return rec; }
    const std::vector<Diagnostic>& diagnostics() const { return found; }
    // True when a finding says that the launch fails for certain.
    bool hasErrors() const;

    // The launcher of the bundle or launcher path that a user names: the path itself when it
    // is a file, else the bundle's Contents/MacOS/<executable>. Throws when there is none.
    static std::string findLauncher(const std::string& bundleOrLauncher);

private:
    void judge();

    const std::vector<std::string> cmdArgs;
    LaunchRecord rec;
    CfgDiagnostics lines;
    std::vector<Diagnostic> found;
};

#endif // BUNDLECHECK_H
