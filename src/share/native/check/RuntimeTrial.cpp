#include "RuntimeTrial.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "JvmLauncher.h"
#include "MacLauncher.h"
#include "StartEnvironment.h"
#include "SysInfo.h"
#include "TrialHost.h"
#include "app.h"
#include "tstrings.h"

extern char** environ;

using RuntimeTrial::now;

namespace {

// The options that start the keeper (with the trial's seconds and grace) and the trial.
const char* const kKeeperOption = "--trial-keeper";
const char* const kTrialOption = "--trial-start";

// The keeper's descriptors besides its standard ones: the request (passed on to the trial) and
// the socket to the check, on which it answers and whose end says that the check is gone.
const int kLaunchFd = 3;
const int kCheckFd = 4;

// Signals whose disposition the check or the keeper changes; the trial sets them back.
const int kChangedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// What is kept of the output: its head and its tail (the runtime's error comes last), each line
// up to kMaxLine, and the listing of the properties, wherever it comes, up to kMaxListing.
const size_t kHead = 512 << 10;
const size_t kTail = 512 << 10;
const size_t kMaxLine = 64 << 10;
const size_t kMaxListing = 4 << 20;

// The check's own executable, as processMain found it; "" when it cannot be found.
std::string executable;

// texts as the null-ended array that exec takes; valid while texts are.
std::vector<char*> cStrings(const std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (const std::string& text : texts) {
        result.push_back(const_cast<char*>(text.c_str()));
    }
    result.push_back(nullptr);
    return result;
}

// Starts the check's own executable with args, fds as its descriptors from 0 on (-1: /dev/null)
// and env (this process's own when empty); its pid, else -1 with errno.
pid_t spawnSelf(std::vector<std::string> args, const std::vector<int>& fds,
                const std::vector<std::string>& env) {
    args.insert(args.begin(), executable);
    const std::vector<char*> argv = cStrings(args);
    const std::vector<char*> envp = cStrings(env);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    for (int i = 0; i < static_cast<int>(fds.size()); ++i) {
        if (fds[i] < 0) {
            ::posix_spawn_file_actions_addopen(&actions, i, "/dev/null", O_RDONLY, 0);
        } else {
            ::posix_spawn_file_actions_adddup2(&actions, fds[i], i);
        }
    }
    pid_t pid = -1;
    const int err = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(),
                                  env.empty() ? environ : envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    errno = err;
    return err == 0 ? pid : -1;
}

// Appends what one read of fd gives to out; false at its end or when it fails.
bool readMore(int fd, std::string& out) {
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    out.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    return n > 0 || (n < 0 && errno == EINTR);
}

// The processes of the trial, remembered in seen: this process's descendants, the trial's
// session, those seen before that still run, and what each of them started.
std::vector<TrialHost::Process> trialProcesses(pid_t trial, std::map<pid_t, uint64_t>& seen) {
    const std::vector<TrialHost::Process> all = TrialHost::processes();
    std::set<pid_t> family = {::getpid()};
    std::vector<TrialHost::Process> found;
    // Each pass finds another generation, until one finds none.
    for (size_t count = 0; count != family.size();) {
        count = family.size();
        for (const TrialHost::Process& p : all) {
            const auto it = seen.find(p.pid);
            const bool belongs = family.count(p.parent) || (trial > 0 && p.session == trial) ||
                                 (it != seen.end() && it->second == p.started);
            if (belongs && p.pid > 1 && p.pid != ::getppid() && family.insert(p.pid).second) {
                found.push_back(p);
                seen[p.pid] = p.started;
            }
        }
    }
    return found;
}

// Ends and reaps every process of the trial (trial: its pid, naming its session; 0 if unknown):
// stopped until no new one appears, then killed until none is left, reaped only at the end.
void endTrial(pid_t trial, std::map<pid_t, uint64_t> seen = {}) {
    for (int round = 0; round < 550; ++round) {
        const size_t known = seen.size();
        const std::vector<TrialHost::Process> found = trialProcesses(trial, seen);
        const bool stop = (seen.size() != known || round == 0) && round < 50;
        for (const TrialHost::Process& p : found) {
            ::kill(p.pid, stop ? SIGSTOP : SIGKILL);
        }
        if (found.empty()) {
            break;
        }
        if (!stop) {
            ::usleep(2000);
        }
    }
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

// The keeper's program: starts the trial, watches it until it ends, the deadline passes or the
// check is gone, ends all of it and answers on kCheckFd "trial PID\n", then "status N", "signal
// N" or why there is no verdict. With grace, the deadline or the check's byte gives SIGTERM and
// grace seconds first, and the answer says "ended " first.
int keeperMain(unsigned seconds, unsigned grace) {
    // Only the check's end ends the keeper: a signal to the whole group reaches it as that.
    for (const int sig : kChangedSignals) {
        ::signal(sig, SIG_IGN);
    }
    // An ignored SIGCHLD would have the system reap the trial before its end is seen.
    ::signal(SIGCHLD, SIG_DFL);
    ::fcntl(kCheckFd, F_SETFD, FD_CLOEXEC);
    TrialHost::keepOrphans();
    const pid_t trial = spawnSelf({kTrialOption}, {}, {});
    ::close(kLaunchFd);
    // The check ends the trial itself should the trial end or stop its keeper.
    const std::string told = "trial " + std::to_string(trial) + "\n";
    (void)!::write(kCheckFd, told.data(), told.size());
    std::string answer =
        trial < 0 ? std::string("the trial start ended without a verdict: ") + std::strerror(errno)
                  : "the trial start did not end within " + std::to_string(seconds) + " s";
    double deadline = now() + seconds;
    bool ending = false;
    std::map<pid_t, uint64_t> seen;
    for (double nextLook = 0; trial > 0;) {
        if (now() >= deadline) {
            if (ending || !grace) {
                break;
            }
            // SIGTERM lets the runtime finish its work on the way out (a class-data archive).
            ending = true;
            ::kill(-trial, SIGTERM);
            ::kill(trial, SIGTERM);
            deadline = now() + grace;
            answer = "ended signal " + std::to_string(SIGKILL);
        }
        // Ended, but not reaped yet: its pid, which names its session, stays its own.
        siginfo_t info = {};
        if (::waitid(P_PID, static_cast<id_t>(trial), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == trial) {
            answer = std::string(ending ? "ended " : "") +
                     (info.si_code == CLD_EXITED ? "status " : "signal ") +
                     std::to_string(info.si_status);
            break;
        }
        // The check writes only to end a start for real; at its end the socket reads its end.
        pollfd p = {kCheckFd, POLLIN, 0};
        std::string asked;
        if (::poll(&p, 1, 20) > 0 && !readMore(kCheckFd, asked)) {
            break;
        }
        if (!asked.empty() && !ending) {
            deadline = now();
        }
        // Where the system does not keep orphans, they are found only when seen before.
        if (now() >= nextLook) {
            trialProcesses(trial, seen);
            nextLook = now() + 0.1;
        }
    }
    endTrial(trial, std::move(seen));
    (void)!::write(kCheckFd, answer.data(), answer.size());
    return trial < 0 ? 1 : 0;
}

// The trial's program: takes the request's environment and working directory, leads a session
// of its own and hands off; ends with the hand-off's status, returns 1 where it cannot.
int trialMain() {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const int sig : kChangedSignals) {
        ::signal(sig, SIG_DFL);
    }
    std::string bytes;
    while (readMore(kLaunchFd, bytes)) {
    }
    static RuntimeTrial::Request request;
    if (!RuntimeTrial::decode(bytes, request)) {
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
    // The hand-off runs as a stage of the launch frame.
    const int status = app::launch(std::nothrow, [] {
        Jvm* jvm = new Jvm();
        jvm->setPath(request.libPath);
        for (const std::string& arg : request.args) {
            jvm->addArgument(arg);
        }
        for (size_t i = 0; i != request.envNames.size(); ++i) {
            jvm->addEnvVariable(request.envNames[i], request.envValues[i]);
        }
        MacLauncher::launch(jvm);
    });
    std::fflush(nullptr);
    // Without the exit handlers: the runtime's threads may still run (and a leak check fails).
    ::_exit(status);
}

// Reads the runtime's output line by line into a trial's record, keeping what is said above.
class OutputReader {
public:
    explicit OutputReader(LaunchRecord::Trial& outcome) : out(outcome) {}

    // Takes the next bytes of the output.
    void add(const std::string& data) {
        for (const char c : data) {
            if (c == '\n') {
                line();
            } else if (pending.size() < kMaxLine) {
                pending += c;
            } else {
                whole = false;
            }
        }
    }

    // Takes the end of the output.
    void finish() {
        if (!pending.empty()) {
            line();
        }
        out.said.insert(out.said.end(), tail.begin(), tail.end());
    }

private:
    void line() {
        // The listing: a header, "    key = value" lines, a path list's further entries indented
        // twice; an empty line ends it. Whatever else comes in between is said.
        const size_t eq = pending.find(" = ");
        const bool entry = listing && pending.compare(0, 8, "        ") == 0 && !key.empty();
        const bool keyed = listing && pending.compare(0, 4, "    ") == 0 &&
                           eq != std::string::npos && eq > 4 && pending[4] != ' ';
        const std::string value = keyed ? pending.substr(eq + 3) : pending.substr(entry ? 8 : 0);
        key = keyed ? pending.substr(4, eq - 4) : key;
        if (pending == "Property settings:") {
            listing = true;
        } else if ((entry || keyed) && whole && listedBytes + value.size() <= kMaxListing) {
            // Kept as far as the budget goes, else the key is partial.
            listedBytes += value.size();
            out.properties[key].push_back(value);
        } else if (entry || keyed) {
            out.partial.insert(key);
        } else if (!pending.empty() && headBytes < kHead) {
            headBytes += pending.size();
            out.said.push_back(pending);
        } else if (!pending.empty()) {
            tailBytes += pending.size();
            tail.push_back(pending);
            while (tailBytes > kTail) {
                tailBytes -= tail.front().size();
                tail.pop_front();
            }
        } else {
            listing = false;
        }
        pending.clear();
        whole = true;
    }

    LaunchRecord::Trial& out;
    std::string pending;
    bool whole = true;
    bool listing = false;
    std::string key;
    size_t listedBytes = 0;
    size_t headBytes = 0;
    std::deque<std::string> tail;
    size_t tailBytes = 0;
};

// Writes bytes to fd, as far as its reader takes them; true when it took them all.
bool writeAll(int fd, const std::string& bytes) {
    // A reader that is gone must not end the check.
    struct sigaction ignore = {};
    struct sigaction before = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &before);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) {
            break;
        }
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    ::sigaction(SIGPIPE, &before, nullptr);
    return done == bytes.size();
}

// Opens a pipe or a socket pair into fds, above the keeper's descriptors and closed on exec.
bool openPair(int fds[2], bool socket) {
    if ((socket ? ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) : ::pipe(fds)) != 0) {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        ::close(std::exchange(fds[i], ::fcntl(fds[i], F_DUPFD_CLOEXEC, kCheckFd + 1)));
    }
    return fds[0] >= 0 && fds[1] >= 0;
}

} // namespace

RuntimeTrial::Ending RuntimeTrial::watch(const LaunchRecord::Launch& launch,
                                         const LaunchRecord::Start& start, unsigned seconds,
                                         unsigned grace, int output,
                                         const std::function<bool(const std::string&)>& tick) {
    Ending ending;
    Request request{launch.libPath,  launch.args,      start.env,
                    launch.envNames, launch.envValues, start.workDir};
    TrialHost::standInForMac(request.env);
    // Should the keeper be ended, the trial's orphans come to the check, which ends them.
    TrialHost::keepOrphans();
    // The keeper starts in the check's own environment.
    std::vector<std::string> shell;
    for (const auto& e : start.shell) {
        shell.push_back(e.first + "=" + e.second);
    }
    // The launch's pipe, the socket to the keeper and, when tick reads it, the output's pipe.
    int fds[6] = {-1, -1, -1, -1, -1, -1};
    const bool opened = openPair(fds, false) && openPair(fds + 2, true) &&
                        (output >= 0 || openPair(fds + 4, false));
    output = output < 0 ? fds[5] : output;
    const pid_t keeper =
        opened ? spawnSelf({kKeeperOption, std::to_string(seconds), std::to_string(grace)},
                           {-1, output, output, fds[0], fds[3]}, shell)
               : -1;
    if (keeper < 0) {
        ending.missing = std::string(opened ? "the trial start could not be started: "
                                            : "no pipe for the trial start: ") +
                         std::strerror(errno);
    }
    // The keeper has its own ends: a request it cannot take then fails rather than waits.
    for (const int i : {0, 3, 5}) {
        ::close(std::exchange(fds[i], -1));
    }
    writeAll(fds[1], encode(request));
    ::close(std::exchange(fds[1], -1));

    const int socket = fds[2];
    std::string answer;
    // Until the keeper is gone (it ends the trial at the deadline), and on while the output has
    // more: every process of the trial is gone by then.
    const double deadline = now() + seconds + grace + 30;
    bool stopped = false;
    for (bool outputOpen = fds[4] >= 0, keeperOpen = keeper >= 0; outputOpen || keeperOpen;) {
        // A stopped keeper watches nothing.
        siginfo_t info = {};
        stopped = stopped || (keeperOpen &&
                              ::waitid(P_PID, static_cast<id_t>(keeper), &info,
                                       WSTOPPED | WNOHANG | WNOWAIT) == 0 &&
                              info.si_pid == keeper && info.si_code == CLD_STOPPED);
        // A keeper gone without its answer has ended nothing: the trial may still write.
        if (stopped || (!keeperOpen && answer.find('\n') + 1 >= answer.size())) {
            break;
        }
        const bool waiting = keeperOpen && now() < deadline;
        pollfd p[2] = {{keeperOpen ? socket : -1, POLLIN, 0},
                       {outputOpen ? fds[4] : -1, POLLIN, 0}};
        if (::poll(p, 2, waiting ? 100 : 0) <= 0 && !waiting) {
            break;
        }
        std::string bytes;
        keeperOpen = keeperOpen && (!p[0].revents || readMore(socket, answer));
        outputOpen = outputOpen && (!p[1].revents || readMore(fds[4], bytes));
        if (tick(bytes) && keeperOpen && !ending.asked) {
            ending.asked = writeAll(socket, "x");
        }
    }
    for (const int fd : fds) {
        ::close(fd); // the socket's end: the keeper, if it still waits, ends the trial now
    }
    if (keeper < 0) {
        return ending;
    }
    if (stopped) {
        ::kill(keeper, SIGKILL);
    }
    int ended = 0;
    while (::waitpid(keeper, &ended, 0) < 0 && errno == EINTR) {
    }
    // Its first line, "trial PID\n", names the trial.
    pid_t trial = 0;
    if (tstrings::startsWith(answer, "trial ") && answer.find('\n') != std::string::npos) {
        trial = static_cast<pid_t>(std::atol(answer.c_str() + 6));
        answer.erase(0, answer.find('\n') + 1);
    }
    ending.ended = tstrings::startsWith(answer, "ended ");
    const std::string how = answer.substr(ending.ended ? 6 : 0);
    ending.exited = tstrings::startsWith(how, "status ");
    if (ending.exited || tstrings::startsWith(how, "signal ")) {
        ending.number = std::atoi(how.c_str() + 7);
        return ending;
    }
    // A keeper ended or stopped by what it watched has ended nothing: that is done here.
    endTrial(trial);
    ending.missing = answer;
    if (answer.empty()) {
        ending.keeperGone = stopped ? std::string("was stopped")
                            : WIFSIGNALED(ended)
                                ? "was ended by signal " + std::to_string(WTERMSIG(ended))
                                : "exited with status " + std::to_string(WEXITSTATUS(ended));
    }
    return ending;
}

LaunchRecord::Trial RuntimeTrial::run(const LaunchRecord::Launch& launch,
                                      const LaunchRecord::Start& start, unsigned seconds) {
    LaunchRecord::Trial outcome;
    // The dry run and the listing of the properties, after the program's name.
    LaunchRecord::Launch dryRun = launch;
    dryRun.args.insert(dryRun.args.begin() + (dryRun.args.empty() ? 0 : 1),
                       {"--dry-run", "-XshowSettings:properties"});
    OutputReader reader(outcome);
    const Ending ending = watch(dryRun, start, seconds, 0, -1, [&](const std::string& bytes) {
        reader.add(bytes);
        return false;
    });
    reader.finish();
    outcome.keeperLost = !ending.keeperGone.empty();
    outcome.missing = outcome.keeperLost ? "the trial's keeper " + ending.keeperGone +
                                               " before the runtime's verdict (the trial's own "
                                               "code can do that)"
                                         : ending.missing;
    if (outcome.missing.empty()) {
        outcome.status = ending.exited ? ending.number : 128 + ending.number;
    }
    return outcome;
}

int RuntimeTrial::processMain(int argc, char* argv[]) {
    // Found while the working directory is still the one the check was started in.
    try {
        executable = SysInfo::getProcessModulePath();
    } catch (const std::exception&) {
    }
    if (argc == 4 && std::strcmp(argv[1], kKeeperOption) == 0) {
        // Nothing may abort the keeper; without its answer the check ends the trial instead.
        try {
            return keeperMain(static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)),
                              static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)));
        } catch (...) {
            return 1;
        }
    }
    if (argc == 2 && std::strcmp(argv[1], kTrialOption) == 0) {
        return trialMain();
    }
    return -1;
}

double RuntimeTrial::now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string RuntimeTrial::encode(const Request& request) {
    std::string out;
    const auto add = [&](const std::string& text) {
        out += text.c_str();
        out += '\0';
    };
    add(request.libPath);
    add(request.workDir);
    for (const std::vector<std::string>* list :
         {&request.args, &request.env, &request.envNames, &request.envValues}) {
        add(std::to_string(list->size()));
        std::for_each(list->begin(), list->end(), add);
    }
    return out;
}

bool RuntimeTrial::decode(const std::string& bytes, Request& request) {
    std::vector<std::string> texts;
    for (size_t at = 0; at < bytes.size(); at += texts.back().size() + 1) {
        texts.emplace_back(bytes.c_str() + at);
    }
    size_t next = 2;
    // A count of at most nine digits, then as many texts: no more than are left.
    const auto list = [&](std::vector<std::string>& out) {
        const std::string count = next < texts.size() ? texts[next++] : "";
        if (count.empty() || count.size() > 9 ||
            count.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(count) > texts.size() - next) {
            return false;
        }
        out.assign(texts.begin() + next, texts.begin() + next + std::stoul(count));
        next += out.size();
        return true;
    };
    if (bytes.empty() || bytes.back() != '\0' || texts.size() < 2) {
        return false;
    }
    request.libPath = texts[0];
    request.workDir = texts[1];
    return list(request.args) && list(request.env) && list(request.envNames) &&
           list(request.envValues) && request.envNames.size() == request.envValues.size() &&
           next == texts.size();
}
