#ifndef LAUNCHERRUN_H
#define LAUNCHERRUN_H

// Starting the built launcher as a process of its own, from bundles laid out in temporary
// directories, and reading what the recording test double saw.

#include <gtest/gtest.h>

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ProcessUtils.h"
#include "TestUtils.h"

// text split at line feeds; a last line feed does not start another line.
std::vector<std::string> lines(const std::string& text);

// The calls the test double recorded in the file at path, each as its lines from "call" to "end".
std::vector<std::vector<std::string>> readRecords(const std::string& path);

// What the test double records for one call with these arguments and DYLD_LIBRARY_PATH
// (null: unset).
std::vector<std::string> expectedRecord(const std::vector<std::string>& args,
                                        const char* dyldLibraryPath);

// Every Java runtime on the machine: installedJavaHome(), then the system's list of installed
// runtimes (the directories below /usr/lib/jvm, the homes that macOS's `java_home -V` lists);
// each once, by its real path, and only those with bin/java and a release file.
std::vector<std::string> installedJavaHomes();

// The environment for a launcher in front of the Java runtime: baseEnv(), with what the
// sanitizers need to leave the runtime's own library alone.
Env javaEnv();

// make-bundle's -a, with the sanitizers' options of a sanitized build for its trial run, which
// starts the launcher in a double-click's environment.
std::vector<std::string> archiveOptions();

// Lays out a bundle with tools/make-bundle; returns its path.
std::string makeBundle(const std::vector<std::string>& options);

// Gives everyone read access to the tree at path and search access to its directories.
void makeReadableByAll(const std::string& path);

// One bundle Demo.app below <tmp>/Applications with the recording test double as its
// runtime, and the environment to start it in.
class LauncherTest : public ::testing::Test {
protected:
    LauncherTest();

    // Demo.app with the given configuration; the launch library is the file given, placed
    // at the first (or, with secondLocation, the second) of the two places.
    void layOut(const std::string& cfg, const std::string& jli = FAKEJLI_PATH,
                bool secondLocation = false, const std::string& name = "Demo");

    Outcome launch(const std::vector<std::string>& args = {},
                   const RunOptions& options = RunOptions()) {
        return run(exe, args, env, options);
    }

    std::vector<std::vector<std::string>> records() const { return readRecords(recordPath); }

    // The launch failed with exactly this line on standard error.
    void expectFailure(const std::string& line, const Outcome& o) const;

    // The launch failed with one line on standard error that starts with prefix.
    void expectFailureStartingWith(const std::string& prefix, const Outcome& o) const;

    TempDir tmp;
    const std::string apps;
    const std::string root;
    const std::string exe;
    const std::string appDir;
    const std::string cfgPath;
    const std::string recordPath;
    Env env;
};

// The configuration of the worked example: class path, main class and one Java option.
extern const char* const kDemoCfg;

#endif // LAUNCHERRUN_H
