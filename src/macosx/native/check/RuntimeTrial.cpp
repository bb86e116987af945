#include "RuntimeTrial.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TrialHost.h"
#include "TrialProcess.h"

namespace {

// What is kept of the runtime's output: its head and its tail (the runtime's error comes last,
// after whatever an agent or a log printed), each line up to kMaxLine, and its listing of the
// properties, wherever it comes, up to kMaxListing.
const size_t kHead = 512 << 10;
const size_t kTail = 512 << 10;
const size_t kMaxLine = 64 << 10;
const size_t kMaxListing = 4 << 20;

// Reads the runtime's output line by line into a trial's record, keeping what is said above.
class OutputReader {
public:
    explicit OutputReader(LaunchRecord::Trial& outcome) : out(outcome) {}

    void add(const char* data, size_t size) {
        for (size_t pos = 0; pos < size;) {
            const char* nl = static_cast<const char*>(std::memchr(data + pos, '\n', size - pos));
            const size_t end = nl ? static_cast<size_t>(nl - data) : size;
            const size_t room = kMaxLine - std::min(kMaxLine, pending.size());
            pending.append(data + pos, std::min(room, end - pos));
            cut = cut || end - pos > room;
            if (nl) {
                line();
            }
            pos = end + (nl ? 1 : 0);
        }
    }

    void finish() {
        if (!pending.empty()) {
            line();
        }
        out.said.insert(out.said.end(), tail.begin(), tail.end());
        tail.clear();
    }

private:
    void line() {
        const std::string text = std::move(pending);
        const bool whole = !cut;
        pending.clear();
        cut = false;
        // The listing: a header, "    key = value" lines and, for a path list, its further
        // entries on lines of their own, indented twice; it ends with an empty line. Lines of
        // the runtime's log may come in between.
        if (text == "Property settings:") {
            listing = true;
            return;
        }
        if (listing && !text.empty() && text[0] == '[') {
            said(text);
            return;
        }
        const size_t eq = text.find(" = ");
        if (listing && text.compare(0, 8, "        ") == 0 && !key.empty()) {
            listed(text.substr(8), whole, false);
            return;
        }
        if (listing && text.compare(0, 4, "    ") == 0 && text.size() > 4 && text[4] != ' ' &&
            eq != std::string::npos) {
            key = text.substr(4, eq - 4);
            out.properties.erase(key);
            listed(text.substr(eq + 3), whole, true);
            return;
        }
        listing = false;
        key.clear();
        if (!text.empty()) {
            said(text);
        }
    }

    void listed(const std::string& value, bool whole, bool first) {
        if (!whole || listedBytes + value.size() > kMaxListing) {
            out.partial.insert(key);
        }
        if (listedBytes + value.size() <= kMaxListing || first) {
            listedBytes += value.size();
            out.properties[key].push_back(value);
        }
    }

    void said(const std::string& text) {
        if (headBytes < kHead) {
            headBytes += text.size();
            out.said.push_back(text);
            return;
        }
        tailBytes += text.size();
        tail.push_back(text);
        while (tailBytes > kTail) {
            tailBytes -= tail.front().size();
            tail.pop_front();
        }
    }

    LaunchRecord::Trial& out;
    std::string pending;
    bool cut = false;
    bool listing = false;
    std::string key;
    size_t listedBytes = 0;
    size_t headBytes = 0;
    std::deque<std::string> tail;
    size_t tailBytes = 0;
};

// fd moved above the descriptors the keeper gets, closed on exec; -1 when it cannot be.
int highFd(int fd) {
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, TrialProcess::kCheckFd + 1);
    ::close(fd);
    return high;
}

// Writes all of bytes to fd; false when the reader is gone.
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

// Reads the trial's output and the keeper's answer until the answer comes (or the keeper is
// gone, or well after the deadline); the answer, "" when none came.
std::string collect(int outputFd, int keeperFd, double deadline, OutputReader& reader) {
    std::string answer;
    char buffer[65536];
    // Reads what fd holds, to the reader or the answer; false at its end or when it fails.
    const auto readSome = [&](int fd) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0 && fd == outputFd) {
            reader.add(buffer, static_cast<size_t>(n));
        } else if (n > 0) {
            answer.append(buffer, static_cast<size_t>(n));
        }
        return n > 0 || (n < 0 && errno == EINTR);
    };
    bool outputOpen = true;
    bool keeperOpen = true;
    while (keeperOpen && TrialProcess::now() < deadline) {
        pollfd p[2] = {{keeperFd, POLLIN, 0}, {outputOpen ? outputFd : -1, POLLIN, 0}};
        if (::poll(p, 2, 100) > 0) {
            outputOpen = !p[1].revents || readSome(outputFd);
            keeperOpen = !p[0].revents || readSome(keeperFd);
        }
    }
    // Every process of the trial is gone by now: what they wrote is in the pipe.
    ::fcntl(outputFd, F_SETFL, O_NONBLOCK);
    while (outputOpen && readSome(outputFd)) {
    }
    return answer;
}

// The arguments the trial hands over: the launch's own, with the dry run and the listing of
// the properties ahead of them.
std::vector<std::string> trialArgs(const std::vector<std::string>& args) {
    std::vector<std::string> result(args.begin(), args.begin() + (args.empty() ? 0 : 1));
    result.push_back("--dry-run");
    result.push_back("-XshowSettings:properties");
    result.insert(result.end(), args.begin() + (args.empty() ? 0 : 1), args.end());
    return result;
}

} // namespace

LaunchRecord::Trial RuntimeTrial::run(const LaunchRecord::Launch& launch,
                                      const LaunchRecord::Start& start, unsigned seconds) {
    LaunchRecord::Trial outcome;
    TrialProcess::Request request{launch.libPath,  trialArgs(launch.args), start.env,
                                  launch.envNames, launch.envValues,       start.workDir};
    TrialHost::standInForMac(request.env);
    // The launch's pipe, the output's pipe and the socket to the keeper, each read end first.
    int fds[6] = {-1, -1, -1, -1, -1, -1};
    bool opened = ::pipe(fds) == 0 && ::pipe(fds + 2) == 0 &&
                  ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds + 4) == 0;
    for (int& fd : fds) {
        fd = fd < 0 ? -1 : highFd(fd);
        opened = opened && fd >= 0;
    }
    const pid_t keeper =
        opened ? TrialProcess::startKeeper(seconds, start.shell, fds[0], fds[5], fds[3]) : -1;
    if (keeper < 0) {
        outcome.missing = std::string(opened ? "the trial start could not be started: "
                                             : "no pipe for the trial start: ") +
                          std::strerror(errno);
    }
    for (const int i : {0, 3, 5}) {
        ::close(fds[i]);
        fds[i] = -1;
    }
    if (keeper >= 0) {
        writeAll(fds[1], TrialProcess::encode(request));
        ::close(fds[1]);
        fds[1] = -1;
        OutputReader reader(outcome);
        // The keeper ends the trial at the deadline; a little more is its time to answer.
        const std::string answer =
            collect(fds[2], fds[4], TrialProcess::now() + seconds + 30, reader);
        reader.finish();
        ::close(fds[4]); // the keeper, if it still waits, ends the trial now
        fds[4] = -1;
        while (::waitpid(keeper, nullptr, 0) < 0 && errno == EINTR) {
        }
        if (answer.rfind("status ", 0) == 0) {
            outcome.status = std::atoi(answer.c_str() + 7);
        } else if (answer == "timeout") {
            outcome.missing =
                "the trial start did not end within " + std::to_string(seconds) + " s";
        } else {
            outcome.missing =
                "the trial start ended without a verdict" +
                (answer.rfind("error ", 0) == 0 ? ": " + answer.substr(6) : std::string());
        }
    }
    for (const int fd : fds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return outcome;
}
