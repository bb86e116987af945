#include "TrialProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "JvmLauncher.h"
#include "MacLauncher.h"
#include "StartEnvironment.h"
#include "SysInfo.h"
#include "TrialHost.h"
#include "app.h"

extern char** environ;

const char* const TrialProcess::kKeeperOption = "--trial-keeper";
const char* const TrialProcess::kTrialOption = "--trial-start";

namespace {

// Signals whose disposition the check or the keeper changes; a process they start gets the
// defaults back.
const int kChangedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// Appends text up to its first NUL byte, which ends it (the runtime gets C strings: nothing
// after it would reach it), and the NUL.
void appendField(std::string& out, const std::string& text) {
    out += text.c_str();
    out += '\0';
}

// The trial's launch, for the hand-off, which runs as a stage of the launch frame (which also
// sets up the log).
const TrialProcess::Request* trialRequest = nullptr;

void handOff() {
    Jvm* jvm = new Jvm();
    jvm->setPath(trialRequest->libPath);
    for (const std::string& arg : trialRequest->args) {
        jvm->addArgument(arg);
    }
    for (size_t i = 0; i != trialRequest->envNames.size(); ++i) {
        jvm->addEnvVariable(trialRequest->envNames[i], trialRequest->envValues[i]);
    }
    MacLauncher::launch(jvm);
}

std::string readAll(int fd) {
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            return out;
        }
    }
}

// The processes that belong to the trial: the keeper's descendants (orphans among them where
// the system keeps them), the trial's session, and those seen before that still run.
std::vector<TrialHost::Process> trialProcesses(pid_t trial, const std::map<pid_t, uint64_t>& seen) {
    const std::vector<TrialHost::Process> all = TrialHost::processes();
    std::multimap<pid_t, size_t> children;
    for (size_t i = 0; i < all.size(); ++i) {
        children.emplace(all[i].parent, i);
    }
    std::set<size_t> found;
    std::vector<pid_t> pending = {::getpid()};
    while (!pending.empty()) {
        const pid_t parent = pending.back();
        pending.pop_back();
        const auto range = children.equal_range(parent);
        for (auto it = range.first; it != range.second; ++it) {
            if (found.insert(it->second).second) {
                pending.push_back(all[it->second].pid);
            }
        }
    }
    for (size_t i = 0; i < all.size(); ++i) {
        const auto it = seen.find(all[i].pid);
        if (all[i].session == trial || (it != seen.end() && it->second == all[i].started)) {
            found.insert(i);
        }
    }
    std::vector<TrialHost::Process> result;
    for (const size_t i : found) {
        if (all[i].pid != ::getpid() && all[i].pid != ::getppid() && all[i].pid > 1) {
            result.push_back(all[i]);
        }
    }
    return result;
}

void reapSome() {
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

// Stops every process of the trial until no new one appears (none can start another then),
// and kills them until none is left.
void endAll(pid_t trial, std::map<pid_t, uint64_t>& seen) {
    for (int round = 0; round < 50; ++round) {
        bool more = false;
        for (const TrialHost::Process& p : trialProcesses(trial, seen)) {
            more = seen.emplace(p.pid, p.started).second || more;
            ::kill(p.pid, SIGSTOP);
        }
        if (!more) {
            break;
        }
    }
    for (int round = 0; round < 500; ++round) {
        const std::vector<TrialHost::Process> left = trialProcesses(trial, seen);
        if (left.empty()) {
            return;
        }
        // Those killed stay unreaped, the trial among them, until all are killed.
        for (const TrialHost::Process& p : left) {
            ::kill(p.pid, SIGKILL);
        }
        ::usleep(2000);
    }
}

// Starts the check's own executable with args, the descriptors that actions (when not null) set
// up and env (this process's own when null); -1 with errno when it cannot.
pid_t spawnSelf(const std::vector<std::string>& args,
                const posix_spawn_file_actions_t* actions = nullptr, char* const* env = environ) {
    const std::string& self = TrialProcess::executable();
    if (self.empty()) {
        errno = ENOENT;
        return -1;
    }
    std::vector<char*> argv = {const_cast<char*>(self.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    ::posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigset_t none;
    sigemptyset(&defaults);
    sigemptyset(&none);
    for (const int sig : kChangedSignals) {
        sigaddset(&defaults, sig);
    }
    ::posix_spawnattr_setsigdefault(&attr, &defaults);
    ::posix_spawnattr_setsigmask(&attr, &none);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int err = ::posix_spawn(&pid, self.c_str(), actions, &attr, argv.data(), env);
    ::posix_spawnattr_destroy(&attr);
    if (err != 0) {
        errno = err;
        return -1;
    }
    return pid;
}

} // namespace

const std::string& TrialProcess::executable() {
    static const std::string self = [] {
        try {
            return SysInfo::getProcessModulePath();
        } catch (const std::exception&) {
            return std::string();
        }
    }();
    return self;
}

pid_t TrialProcess::startKeeper(unsigned seconds, const std::map<std::string, std::string>& env,
                                int launchFd, int checkFd, int outputFd) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, launchFd, kLaunchFd);
    ::posix_spawn_file_actions_adddup2(&actions, checkFd, kCheckFd);
    std::vector<std::string> entries;
    std::vector<char*> envp;
    for (const auto& e : env) {
        entries.push_back(e.first + "=" + e.second);
    }
    for (std::string& e : entries) {
        envp.push_back(&e[0]);
    }
    envp.push_back(nullptr);
    const pid_t pid = spawnSelf({kKeeperOption, std::to_string(seconds)}, &actions,
                                env.empty() ? environ : envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string TrialProcess::encode(const Request& request) {
    std::string out;
    appendField(out, request.libPath);
    appendField(out, request.workDir);
    for (const std::vector<std::string>* list :
         {&request.args, &request.env, &request.envNames, &request.envValues}) {
        appendField(out, std::to_string(list->size()));
        for (const std::string& item : *list) {
            appendField(out, item);
        }
    }
    return out;
}

bool TrialProcess::decode(const std::string& bytes, Request& request) {
    std::vector<std::string> fields;
    for (size_t pos = 0, end; pos < bytes.size(); pos = end + 1) {
        end = bytes.find('\0', pos);
        if (end == std::string::npos) {
            return false; // a field without its end
        }
        fields.emplace_back(bytes, pos, end - pos);
    }
    size_t at = 0;
    const auto field = [&](std::string& out) {
        out = at < fields.size() ? fields[at] : std::string();
        return at++ < fields.size();
    };
    const auto list = [&](std::vector<std::string>& out) {
        std::string count;
        if (!field(count) || count.empty() || count.size() > 9 ||
            count.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(count) > fields.size() - at) {
            return false;
        }
        out.assign(fields.begin() + at, fields.begin() + at + std::stoul(count));
        at += out.size();
        return true;
    };
    return field(request.libPath) && field(request.workDir) && list(request.args) &&
           list(request.env) && list(request.envNames) && list(request.envValues) &&
           request.envNames.size() == request.envValues.size() && at == fields.size();
}

double TrialProcess::now() {
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int TrialProcess::keeperMain(unsigned seconds) {
    // The check's end is what ends the keeper: a signal that ends the check reaches it through
    // the socket, also when it was sent to the whole group.
    for (const int sig : kChangedSignals) {
        ::signal(sig, SIG_IGN);
    }
    ::fcntl(kCheckFd, F_SETFD, FD_CLOEXEC);
    TrialHost::keepOrphans();
    const pid_t trial = spawnSelf({kTrialOption});
    ::close(kLaunchFd);
    if (trial < 0) {
        const std::string text = std::string("error ") + std::strerror(errno);
        (void)!::write(kCheckFd, text.data(), text.size());
        return 1;
    }
    const double deadline = now() + seconds;
    std::map<pid_t, uint64_t> seen;
    double nextLook = 0;
    int status = 0;
    bool ended = false;
    for (;;) {
        // Ended, but not reaped yet: its pid, which names its session, stays its own.
        siginfo_t info = {};
        if (::waitid(P_PID, static_cast<id_t>(trial), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == trial) {
            ended = true;
            break;
        }
        if (now() >= deadline) {
            break;
        }
        pollfd p = {kCheckFd, POLLIN, 0};
        char c;
        if (::poll(&p, 1, 20) > 0) {
            const ssize_t n = ::read(kCheckFd, &c, 1);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                break; // the check is gone
            }
        }
        // Where the system does not keep orphans, they are found only when seen before.
        if (now() >= nextLook) {
            for (const TrialHost::Process& proc : trialProcesses(trial, seen)) {
                seen.emplace(proc.pid, proc.started);
            }
            nextLook = now() + 0.1;
        }
    }
    endAll(trial, seen);
    while (::waitpid(trial, &status, 0) < 0 && errno == EINTR) {
    }
    reapSome();
    const std::string text =
        !ended ? std::string("timeout")
               : "status " + std::to_string(WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                                                : WEXITSTATUS(status));
    (void)!::write(kCheckFd, text.data(), text.size());
    return 0;
}

int TrialProcess::trialMain() {
    Request request;
    if (!decode(readAll(kLaunchFd), request)) {
        std::cerr << "applauncher-check: the trial start got no launch\n";
        return 1;
    }
    ::close(kLaunchFd);
    ::setsid();
    TrialHost::standInForMacRoot();
    if (!request.workDir.empty() && ::chdir(request.workDir.c_str()) != 0) {
        std::cerr << "applauncher-check: the trial start cannot work in " << request.workDir << ": "
                  << std::strerror(errno) << "\n";
        return 1;
    }
    StartEnvironment::replace(request.env);
    trialRequest = &request;
    const int status = app::launch(std::nothrow, handOff);
    std::cout.flush();
    std::fflush(nullptr);
    // Without the exit handlers: the runtime's threads may still run, and nothing of this
    // process needs cleaning up (a sanitizer's leak check cannot trace a process that runs it).
    ::_exit(status);
}
