#include "ProcessUtils.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

// A child that runs longer than this is killed: a hang must fail the test, not stall it.
// (A guard only; no test checks how long anything takes.)
const int kHangGuardSeconds = 180;

// The user and group that unprivileged children run as.
const uid_t kNobody = 65534;

// Pointers to the texts, followed by a null pointer, as exec wants them.
std::vector<char*> cStrings(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(&s[0]);
    }
    result.push_back(nullptr);
    return result;
}

// Starts the child with fork, for what posix_spawn cannot do: a working directory given as a
// descriptor and a change of user. Between fork and exec only async-signal-safe calls.
pid_t forkChild(const std::string& program, char* const* argv, char* const* envp,
                const std::string& outPath, const std::string& errPath, const RunOptions& options) {
    const bool dropPrivileges = options.unprivileged && ::geteuid() == 0;
    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0) {
        ::_exit(126);
    }
    if (options.cwdFd >= 0 && ::fchdir(options.cwdFd) != 0) {
        ::_exit(126);
    }
    if (dropPrivileges &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
        ::_exit(126);
    }
    ::execve(program.c_str(), argv, envp);
    ::_exit(127);
}

pid_t spawnChild(const std::string& program, char* const* argv, char* const* envp,
                 const std::string& outPath, const std::string& errPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}

} // namespace

Env baseEnv() {
    Env env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const size_t eq = entry.find('=');
        const std::string name = entry.substr(0, eq);
        if (name == "PATH" || name.find("SAN_OPTIONS") != std::string::npos) {
            env[name] = entry.substr(eq + 1);
        }
    }
    return env;
}

Started start(const std::string& program, const std::vector<std::string>& args, const Env& env,
              const RunOptions& options) {
    Started child;
    child.program = program;
    child.io.reset(new TempDir());
    // An unprivileged child must be able to create its output files.
    ::chmod(child.io->path().c_str(), 0777);
    const std::string outPath = *child.io / "stdout";
    const std::string errPath = *child.io / "stderr";

    std::vector<std::string> argStorage(1, program);
    argStorage.insert(argStorage.end(), args.begin(), args.end());
    const std::vector<char*> argv = cStrings(argStorage);

    std::vector<std::string> envStorage;
    for (const auto& kv : env) {
        envStorage.push_back(kv.first + "=" + kv.second);
    }
    const std::vector<char*> envp = cStrings(envStorage);

    child.pid = options.cwdFd >= 0 || options.unprivileged
                    ? forkChild(program, argv.data(), envp.data(), outPath, errPath, options)
                    : spawnChild(program, argv.data(), envp.data(), outPath, errPath);
    if (child.pid < 0) {
        ADD_FAILURE() << "cannot start " << program << ": " << std::strerror(errno);
    }
    return child;
}

Outcome finish(Started& child) {
    Outcome outcome;
    if (child.pid < 0) {
        return outcome;
    }
    int wstatus = 0;
    for (long waited_ms = 0;; waited_ms += 10) {
        const pid_t done = waitpid(child.pid, &wstatus, WNOHANG);
        if (done == child.pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            ADD_FAILURE() << "waitpid failed: " << std::strerror(errno);
            return outcome;
        }
        if (waited_ms >= kHangGuardSeconds * 1000L) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, &wstatus, 0);
            outcome.hung = true;
            ADD_FAILURE() << child.program << " did not end and was killed";
            break;
        }
        const struct timespec tick = {0, 10 * 1000 * 1000};
        nanosleep(&tick, nullptr);
    }
    child.pid = -1;
    outcome.signaled = WIFSIGNALED(wstatus);
    outcome.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    outcome.out = readFile(*child.io / "stdout");
    outcome.err = readFile(*child.io / "stderr");
    return outcome;
}

Outcome run(const std::string& program, const std::vector<std::string>& args, const Env& env,
            const RunOptions& options) {
    Started child = start(program, args, env, options);
    return finish(child);
}

std::string realPath(const std::string& path) {
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : path;
}

std::string compileJar(const std::string& javaHome, const std::vector<std::string>& sources,
                       const std::string& classesDir, const std::string& jar) {
    std::vector<std::string> javacArgs = {"-d", classesDir};
    javacArgs.insert(javacArgs.end(), sources.begin(), sources.end());
    const Outcome javac = run(javaHome + "/bin/javac", javacArgs, baseEnv());
    if (javac.status != 0) {
        return "javac: " + javac.err;
    }
    const Outcome packed =
        run(javaHome + "/bin/jar", {"--create", "--file", jar, "-C", classesDir, "."}, baseEnv());
    return packed.status == 0 ? std::string() : "jar: " + packed.err;
}

std::string installedJavaHome() {
    const char* home = std::getenv("JAVA_HOME");
    if (home && *home && ::access((std::string(home) + "/bin/javac").c_str(), X_OK) == 0) {
        return home;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        const std::string java = dirs.substr(start, end - start) + "/java";
        if (::access(java.c_str(), X_OK) == 0) {
            const std::string real = realPath(java); // <home>/bin/java
            const std::string bin = real.substr(0, real.rfind('/'));
            const std::string candidate = bin.substr(0, bin.rfind('/'));
            if (::access((candidate + "/bin/javac").c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        start = end + 1;
    }
    return std::string();
}
