#ifndef PROCESSUTILS_H
#define PROCESSUTILS_H

// Starting programs as processes of their own, and the installed JDK's tools.

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

// The installed JDK: JAVA_HOME when it holds one, else the real location of `java` on PATH;
// "" when there is none.
std::string installedJavaHome();

// Compiles sources into classesDir and packs them into jar; "" on success, else what failed.
std::string compileJar(const std::string& javaHome, const std::vector<std::string>& sources,
                       const std::string& classesDir, const std::string& jar);

#endif // PROCESSUTILS_H
