#include "RuntimeTrial.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "JvmLauncher.h"
#include "MacLauncher.h"
#include "StartEnvironment.h"
#include "app.h"

namespace {

// More output than this is not kept: what decides a verdict comes first.
const size_t kMaxOutput = 1 << 20;

// The trial's launch, for the child's hand-off, which runs as a stage of the launch frame.
Jvm* trialJvm = nullptr;

void handOff() {
    MacLauncher::launch(trialJvm);
}

// In the child: the hand-off, with standard output and error going to fd.
[[noreturn]] void runChild(const LaunchRecord::Launch& launch, const LaunchRecord::Start& start,
                           int fd) {
    ::setsid();
    StartEnvironment::replace(start.env);
    if (!start.workDir.empty() && ::chdir(start.workDir.c_str()) != 0) {
        ::_exit(127);
    }
    const int devNull = ::open("/dev/null", O_RDONLY);
    if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
    }
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    trialJvm = new Jvm();
    trialJvm->setPath(launch.libPath);
    for (const std::string& arg : RuntimeTrial::trialArgs(launch.args)) {
        trialJvm->addArgument(arg);
    }
    for (size_t i = 0; i != launch.envNames.size(); ++i) {
        trialJvm->addEnvVariable(launch.envNames[i], launch.envValues[i]);
    }
    const int status = app::launch(std::nothrow, handOff);
    std::cout.flush();
    std::fflush(nullptr);
    ::_exit(status);
}

double now() {
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// One read of fd, appended to out up to kMaxOutput; the read's result.
ssize_t readSome(int fd, std::string& out) {
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0 && out.size() < kMaxOutput) {
        out.append(buffer, std::min(static_cast<size_t>(n), kMaxOutput - out.size()));
    }
    return n;
}

// Collects the child's output until it ends (what it started may keep the pipe open, but the
// verdict is the child's) or the deadline passes; its exit status, or -1 at the deadline.
int collect(pid_t pid, int fd, double deadline, std::string& out) {
    bool open = true;
    while (now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            // What the child wrote before it ended is in the pipe by now.
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
            for (ssize_t n = 1; open && (n > 0 || (n < 0 && errno == EINTR));) {
                n = readSome(fd, out);
            }
            return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        }
        pollfd p = {fd, POLLIN, 0};
        if (open && ::poll(&p, 1, 100) > 0) {
            const ssize_t n = readSome(fd, out);
            open = n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN));
        } else if (!open) {
            ::usleep(10000);
        }
    }
    return -1;
}

} // namespace

std::vector<std::string> RuntimeTrial::trialArgs(const std::vector<std::string>& args) {
    std::vector<std::string> result;
    if (!args.empty()) {
        result.push_back(args[0]);
    }
    result.push_back("--dry-run");
    result.push_back("-XshowSettings:properties");
    result.insert(result.end(), args.begin() + (args.empty() ? 0 : 1), args.end());
    return result;
}

LaunchRecord::Trial RuntimeTrial::run(const LaunchRecord::Launch& launch,
                                      const LaunchRecord::Start& start, unsigned seconds) {
    LaunchRecord::Trial outcome;
    int fds[2];
    if (::pipe(fds) != 0) {
        outcome.missing = std::string("no pipe for the trial start: ") + std::strerror(errno);
        return outcome;
    }
    // What is still buffered would be written twice, once by each process.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        outcome.missing =
            std::string("the trial start could not be started: ") + std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return outcome;
    }
    if (pid == 0) {
        ::close(fds[0]);
        runChild(launch, start, fds[1]);
    }
    ::close(fds[1]);
    std::string output;
    outcome.status = collect(pid, fds[0], now() + seconds, output);
    if (outcome.status < 0) {
        outcome.missing = "the trial start did not end within " + std::to_string(seconds) + " s";
    }
    // The child led a session of its own: whatever is left of it goes.
    ::kill(-pid, SIGKILL);
    if (outcome.status < 0) {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    ::close(fds[0]);
    parseOutput(output, outcome);
    return outcome;
}

void RuntimeTrial::parseOutput(const std::string& output, LaunchRecord::Trial& outcome) {
    // The listing: a header, "    key = value" lines and, for a path list, its further entries
    // on lines of their own, indented twice; it ends with an empty line.
    bool listing = false;
    std::string key;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        if (line == "Property settings:") {
            listing = true;
            continue;
        }
        if (listing && line.compare(0, 8, "        ") == 0 && !key.empty()) {
            outcome.properties[key].push_back(line.substr(8));
            continue;
        }
        const size_t eq = line.find(" = ");
        if (listing && line.compare(0, 4, "    ") == 0 && line[4] != ' ' &&
            eq != std::string::npos) {
            key = line.substr(4, eq - 4);
            outcome.properties[key] = {line.substr(eq + 3)};
            continue;
        }
        listing = false;
        key.clear();
        if (!line.empty()) {
            outcome.said.push_back(line);
        }
    }
}
