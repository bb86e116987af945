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

#include "TestUtils.h"

struct Outcome {
    int status = -1; // the exit status, or 128 + signal
    bool signaled = false;
    std::string out;
    std::string err;
    bool hung = false;
};

typedef std::map<std::string, std::string> Env;

// How a child is started besides its arguments and environment.
struct RunOptions {
    // Working directory of the child, as an open directory descriptor (-1: the caller's).
    int cwdFd = -1;
    // Run as the unprivileged user 65534 when the tests run as root, so that file permissions
    // apply; otherwise as the caller, whom they apply to already.
    bool unprivileged = false;
};

// The variables every child gets: PATH, and the sanitizers' options of this run.
Env baseEnv();

// text split at line feeds; a last line feed does not start another line.
std::vector<std::string> lines(const std::string& text);

// A child process started by start(), until finish() collects it.
struct Started {
    pid_t pid = -1;
    std::string program;
    std::unique_ptr<TempDir> io; // its standard output and error
};

// Starts program with args (argv[0] is the program itself) and exactly the given environment,
// and returns at once.
Started start(const std::string& program, const std::vector<std::string>& args, const Env& env,
              const RunOptions& options = RunOptions());

// Waits for the child (killing it when it hangs) and collects what it wrote.
Outcome finish(Started& child);

// start() and finish() in one.
Outcome run(const std::string& program, const std::vector<std::string>& args, const Env& env,
            const RunOptions& options = RunOptions());

// The path with every symbolic link resolved, or the path itself when that fails.
std::string realPath(const std::string& path);

// The calls the test double recorded in the file at path, each as its lines from "call" to "end".
std::vector<std::vector<std::string>> readRecords(const std::string& path);

// What the test double records for one call with these arguments and DYLD_LIBRARY_PATH
// (null: unset).
std::vector<std::string> expectedRecord(const std::vector<std::string>& args,
                                        const char* dyldLibraryPath);

// The installed JDK: JAVA_HOME when it holds one, else the real location of `java` on PATH;
// "" when there is none.
std::string installedJavaHome();

// Every Java runtime on the machine: installedJavaHome(), then the system's list of installed
// runtimes (the directories below /usr/lib/jvm, the homes that macOS's `java_home -V` lists);
// each once, by its real path, and only those with bin/java and a release file.
std::vector<std::string> installedJavaHomes();

// Compiles sources into classesDir and packs them into jar; "" on success, else what failed.
std::string compileJar(const std::string& javaHome, const std::vector<std::string>& sources,
                       const std::string& classesDir, const std::string& jar);

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
