#ifndef BUNDLECHECK_H
#define BUNDLECHECK_H

#include <iosfwd>
#include <string>
#include <vector>

#include "CfgDiagnostics.h"

// Goes through a bundle's start-up exactly as its launcher does, up to the hand-off to the
// runtime, and records what it finds on the way. Never calls JLI_Launch and sets no
// environment variable.
class BundleCheck {
public:
    // A value that expansion changed.
    struct Change {
        std::string where; // "[Section] property"
        size_t line;
        std::string from;
        std::string to;
    };

    // The launcher at launcherPath (absolute, resolved), started with args.
    BundleCheck(const std::string& launcherPath, const std::vector<std::string>& args);

    // Runs the start-up; throws the launcher's own error where the launcher would fail, with
    // everything found until then kept.
    void run();

    // What was found so far, for people: configuration, expansion, runtime, command line.
    void printReport(std::ostream& out) const;
    // The findings as "<configuration>:<line>: warning: <text>" lines.
    void printDiagnostics(std::ostream& out) const;

    const std::vector<std::string>& javaArgs() const { return args; }
    const std::vector<Diagnostic>& diagnostics() const { return found; }

    // The launcher of the bundle or launcher path that a user names: the path itself when it
    // is a file, else the bundle's Contents/MacOS/<executable>. Throws when there is none.
    static std::string findLauncher(const std::string& bundleOrLauncher);

private:
    void checkValues(const CfgFile& raw, const CfgFile& expanded, const CfgFile::Macros& macros,
                     const CfgDiagnostics& lines);
    void checkRuntime(const CfgFile& expanded, const CfgDiagnostics& lines);
    void add(size_t line, const std::string& text) { found.push_back(Diagnostic{line, text}); }

    const std::string launcherPath;
    const std::vector<std::string> cmdArgs;

    std::string rootDir;
    std::string appDir;
    bool hasPackageFile = false;
    std::string packageName;
    bool homeSet = false;
    std::string homeDir;
    std::string userCfgFileDir;
    std::string bundleCfgFilePath;
    std::string cfgFilePath;
    std::vector<Change> changes;
    std::string runtimeDir;
    bool runtimeConfigured = false;
    size_t runtimeLine = 0;
    std::vector<std::string> triedLibs;
    std::string libPath;
    std::string libArch;
    std::string libStatus;
    std::vector<std::string> envNames;
    std::vector<std::string> envValues;
    std::string envVariableValue;
    bool envVariableSet = false;
    std::vector<std::string> args;
    std::vector<Diagnostic> found;
};

#endif // BUNDLECHECK_H
