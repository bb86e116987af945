#include "LauncherRun.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
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

// Undoes the test double's escaping of backslashes and newlines.
std::string unescape(const std::string& s) {
    std::string result;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            ++i;
            result += s[i] == 'n' ? '\n' : s[i];
        } else {
            result += s[i];
        }
    }
    return result;
}

int addReadAccess(const char* path, const struct stat* st, int type, struct FTW*) {
    if (type == FTW_D || type == FTW_DP) {
        ::chmod(path, (st->st_mode & 07777) | 0555);
    } else if (type == FTW_F) {
        ::chmod(path, (st->st_mode & 07777) | 0444);
    }
    return 0;
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

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
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

std::vector<std::vector<std::string>> readRecords(const std::string& path) {
    std::vector<std::vector<std::string>> records;
    for (const std::string& line : lines(readFile(path))) {
        if (line == "call") {
            records.emplace_back();
        }
        if (!records.empty()) {
            records.back().push_back(unescape(line));
        }
    }
    return records;
}

std::vector<std::string> expectedRecord(const std::vector<std::string>& args,
                                        const char* dyldLibraryPath) {
    std::vector<std::string> record = {"call", "argc=" + std::to_string(args.size())};
    for (const std::string& arg : args) {
        record.push_back("arg=" + arg);
    }
    record.push_back("argv_terminated=1");
    record.push_back("params=0,1,0,1,,,java,java,0,0,0,0");
    record.push_back(dyldLibraryPath ? std::string("env:DYLD_LIBRARY_PATH=") + dyldLibraryPath
                                     : std::string("env:DYLD_LIBRARY_PATH unset"));
    record.push_back("end");
    return record;
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

std::vector<std::string> installedJavaHomes() {
    std::vector<std::string> candidates;
    const std::string first = installedJavaHome();
    if (!first.empty()) {
        candidates.push_back(first);
    }
    // Every JDK package of Debian and Ubuntu installs below this directory.
    if (DIR* dir = ::opendir("/usr/lib/jvm")) {
        std::vector<std::string> names;
        while (const struct dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.push_back(entry->d_name);
            }
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            candidates.push_back("/usr/lib/jvm/" + name);
        }
    }
    // macOS lists its runtimes, one a line ending in the runtime's home, on standard error.
    const char* const javaHomeTool = "/usr/libexec/java_home";
    if (::access(javaHomeTool, X_OK) == 0) {
        for (const std::string& line : lines(run(javaHomeTool, {"-V"}, baseEnv()).err)) {
            const size_t at = line.find(" /");
            if (at != std::string::npos) {
                candidates.push_back(line.substr(at + 1));
            }
        }
    }
    std::vector<std::string> homes;
    for (const std::string& candidate : candidates) {
        const std::string home = realPath(candidate);
        if (::access((home + "/bin/java").c_str(), X_OK) == 0 &&
            ::access((home + "/release").c_str(), R_OK) == 0 &&
            std::find(homes.begin(), homes.end(), home) == homes.end()) {
            homes.push_back(home);
        }
    }
    return homes;
}

std::string makeBundle(const std::vector<std::string>& options) {
    Outcome made = run(MAKE_BUNDLE_PATH, options, baseEnv());
    EXPECT_EQ(0, made.status) << made.err;
    const std::vector<std::string> out = lines(made.out);
    return out.empty() ? std::string() : out.back();
}

void makeReadableByAll(const std::string& path) {
    ::nftw(path.c_str(), addReadAccess, 16, FTW_PHYS);
}

LauncherTest::LauncherTest()
    : apps(realPath(tmp.path()) + "/Applications"), root(apps + "/Demo.app"),
      exe(root + "/Contents/MacOS/Demo"), appDir(root + "/Contents/app"),
      cfgPath(appDir + "/Demo.cfg"), recordPath(realPath(tmp.path()) + "/record.txt"),
      env(baseEnv()) {
    env["FAKEJLI_RECORD"] = recordPath;
    env["FAKEJLI_ENV"] = "DYLD_LIBRARY_PATH";
    env["HOME"] = realPath(tmp.path()) + "/home";
}

void LauncherTest::layOut(const std::string& cfg, const std::string& jli, bool secondLocation,
                          const std::string& name) {
    writeFile(tmp / "input.cfg", cfg);
    // Many of these bundles are broken on purpose. make-bundle refuses a bundle that
    // applauncher-check finds broken, and runs the check only when it lies next to the
    // launcher: through a link in a directory of its own, the launcher has none beside it.
    const std::string launcher = tmp / "unchecked/applauncher";
    if (::access(launcher.c_str(), X_OK) != 0) {
        makeDirs(tmp / "unchecked");
        EXPECT_EQ(0, ::symlink(APPLAUNCHER_PATH, launcher.c_str())) << std::strerror(errno);
    }
    std::vector<std::string> options = {"-l", launcher, "-n", name,
                                        "-o", apps,     "-c", tmp / "input.cfg"};
    if (!jli.empty()) {
        options.push_back("-j");
        options.push_back(jli);
    }
    if (secondLocation) {
        options.push_back("-J");
    }
    ASSERT_EQ(apps + "/" + name + ".app", makeBundle(options));
}

void LauncherTest::expectFailure(const std::string& line, const Outcome& o) const {
    EXPECT_EQ(1, o.status) << o.err;
    EXPECT_EQ(line + "\n", o.err);
}

void LauncherTest::expectFailureStartingWith(const std::string& prefix, const Outcome& o) const {
    EXPECT_EQ(1, o.status) << o.err;
    ASSERT_EQ(1u, lines(o.err).size()) << o.err;
    EXPECT_EQ(prefix, o.err.substr(0, prefix.size())) << o.err;
}

const char* const kDemoCfg = "[Application]\n"
                             "app.classpath=$APPDIR/demo.jar\n"
                             "app.mainclass=demo.Main\n"
                             "[JavaOptions]\n"
                             "java-options=-Xmx512m\n";
