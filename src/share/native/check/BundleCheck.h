#ifndef BUNDLECHECK_H
#define BUNDLECHECK_H

#include <iosfwd>
#include <string>
#include <vector>

#include "CfgDiagnostics.h"
#include "Experiments.h"
#include "LaunchReads.h"
#include "LaunchRecord.h"

// Has a bundle's launcher go through its start-up up to the hand-off to the runtime, records
// every decision the launcher reports on the way, asks the runtime for its verdict in a trial
// start, and judges them. Never starts the application.
class BundleCheck {
public:
    struct Options {
        // Whether the runtime is asked for its verdict, and how long it may take.
        bool trial = true;
        unsigned trialSeconds = 60;
        // Which start is judged: a double-click, else one typed in the check's own shell.
        bool doubleClick = true;
        // The Java home that stands in for a bundle runtime that cannot run here ("": found).
        std::string trialRuntime;
        // Variables set in the start's environment ("NAME=VALUE"; "NAME" alone removes it).
        std::vector<std::string> startSettings;
    };

    // The launcher at launcherPath (absolute, resolved), started with args.
    BundleCheck(const std::string& launcherPath, const std::vector<std::string>& args,
                const Options& options);

    // Runs the start-up and the trial; throws the launcher's own error where the launcher would
    // fail, with everything recorded and judged until then kept.
    void run();
    // Judges the configuration file at path on its own, as the launcher would read it in a
    // bundle not yet made: its lines, its values and the arguments they make.
    void runCfgFile(const std::string& path);

    // What was recorded, for people: configuration, expansion, runtime, command line.
    void printReport(std::ostream& out) const;

    const LaunchRecord& record() const { return rec; }
    const std::vector<Diagnostic>& diagnostics() const { return found; }
    // The remarks that change no status: what the check could not do.
    const std::vector<std::string>& remarks() const { return notes; }
    // The configuration's lines as the parser read them.
    const CfgDiagnostics& cfgLines() const { return lines; }
    // What the launch reads, with the findings that name them.
    const std::vector<LaunchReads::Read>& launchReads() const { return reads; }
    // True when a finding says that the launch fails for certain.
    bool hasErrors() const;

    // The launcher of the bundle or launcher path that a user names: the path itself when it
    // is a file, else the bundle's Contents/MacOS/<executable>, else that of the only bundle in
    // the directory. Throws when there is none.
    static std::string findLauncher(const std::string& bundleOrLauncher);

private:
    void judge();
    // The trial start and its experiments; cannotRun says why the bundle's runtime cannot run
    // here ("" when it can), so that a stand-in judges.
    void startTrial(const std::string& cannotRun);

    const std::vector<std::string> cmdArgs;
    const Options options;
    LaunchRecord rec;
    // Starts the runtime for a trial; empty when there is none.
    Experiments::Start trialStart;
    CfgDiagnostics lines;
    std::vector<Diagnostic> found;
    std::vector<std::string> notes;
    std::vector<LaunchReads::Read> reads;
};

#endif // BUNDLECHECK_H
