#include "RunMode.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "BundleCheck.h"
#include "FileUtils.h"
#include "RuntimeTrial.h"
#include "TrialHost.h"
#include "app.h"

namespace {

// How long the runtime may take after SIGTERM before everything of the run is killed: writing a
// class-data archive of a large application on the way out takes a while.
const unsigned kGraceSeconds = 300;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int fail(const std::string& text) {
    std::cerr << "applauncher-check: " << text << "\n";
    return 1;
}

// The check whose launcher's road runs in the launch frame, as the launcher's own does.
BundleCheck* theRoad = nullptr;
void road() {
    theRoad->run();
}

// A directory of its own for the runtime's class-load log, removed with it.
class ClassLog {
public:
    explicit ClassLog(bool wanted) {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = tmp && *tmp ? FileUtils::removeTrailingSlash(tmp) : "/tmp";
        // The log's path goes into an -Xlog option, whose syntax these characters belong to.
        if (base.find_first_of(":,\"= ") != std::string::npos) {
            base = "/tmp";
        }
        std::string pattern = base + "/applauncher-check-run.XXXXXX";
        if (wanted && ::mkdtemp(&pattern[0])) {
            dir = pattern;
            path = dir + "/classes.log";
        }
    }
    ~ClassLog() {
        if (!dir.empty()) {
            ::unlink(path.c_str());
            ::rmdir(dir.c_str());
        }
    }
    ClassLog(const ClassLog&) = delete;
    ClassLog& operator=(const ClassLog&) = delete;

    // The log's size, -1 while there is none.
    long long size() const {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    }

    std::string dir;
    std::string path;
};

} // namespace

int RunMode::run(const std::string& launcherPath, const Options& options) {
    BundleCheck::Options checkOptions;
    checkOptions.trial = false;
    checkOptions.doubleClick = options.doubleClick;
    checkOptions.startSettings = options.env;
    if (!options.home.empty()) {
        checkOptions.startSettings.push_back("HOME=" + options.home);
    }
    BundleCheck check(launcherPath, options.args, checkOptions);
    theRoad = &check;
    // Where the launcher fails, its own line says why.
    if (app::launch(std::nothrow, road) != 0) {
        return 1;
    }
    const LaunchRecord& rec = check.record();
    if (!rec.handOffOk) {
        return fail("cannot run " + launcherPath +
                    " here: " + (rec.trial ? rec.trial->missing : rec.handOff.value_or("")));
    }
    LaunchRecord::Launch launch = *rec.launch;
    // After the last configured Java option, so that the added ones count over it.
    size_t place = 1;
    for (size_t i = 0; i < launch.origins.size(); ++i) {
        if (launch.origins[i] && launch.origins[i]->section == SectionName::JavaOptions) {
            place = i + 1;
        }
    }
    const ClassLog classLog(options.idle != 0);
    if (options.idle && classLog.dir.empty()) {
        return fail(std::string("cannot make a directory for the class-load log: ") +
                    std::strerror(errno));
    }
    std::vector<std::string> added = options.javaOptions;
    if (options.idle) {
        added.insert(added.begin(), "-Xlog:class+load:file=" + classLog.path);
    }
    launch.args.insert(launch.args.begin() +
                           static_cast<ptrdiff_t>(std::min(place, launch.args.size())),
                       added.begin(), added.end());

    const std::string log = options.log.empty() ? "/dev/null" : options.log;
    const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (output < 0) {
        return fail("cannot write " + log + ": " + std::strerror(errno));
    }
    RuntimeTrial::Request request{launch.libPath,  launch.args,      rec.start.env,
                                  launch.envNames, launch.envValues, rec.start.workDir};
    TrialHost::standInForMac(request.env);
    const double started = now();
    const RuntimeTrial::Keeper keeper =
        RuntimeTrial::startKeeper(request, rec.start, options.seconds, kGraceSeconds, output);
    ::close(output);
    if (keeper.pid < 0) {
        return fail(keeper.error);
    }
    // A keeper gone before it was asked to end the run must not end the check.
    ::signal(SIGPIPE, SIG_IGN);
    std::string answer;
    bool asked = false;
    long long loaded = classLog.size();
    double changed = now();
    bool stopped = false;
    for (const double deadline = started + options.seconds + kGraceSeconds + 30;
         !stopped && now() < deadline;) {
        stopped = RuntimeTrial::killIfStopped(keeper);
        pollfd p = {keeper.socket, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buffer[256];
            const ssize_t n = ::read(keeper.socket, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR)) {
                break;
            }
            answer.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        }
        if (options.idle && !asked && classLog.size() != loaded) {
            loaded = classLog.size();
            changed = now();
        } else if (options.idle && !asked && now() - changed >= options.idle) {
            asked = ::write(keeper.socket, "x", 1) == 1;
        }
    }
    const double seconds = now() - started;
    ::close(keeper.socket); // the keeper, if it still waits, ends the run now
    int ended = 0;
    while (::waitpid(keeper.pid, &ended, 0) < 0 && errno == EINTR) {
    }
    const pid_t trial = RuntimeTrial::takeTrialPid(answer);
    const bool endedByKeeper = answer.rfind("ended ", 0) == 0;
    const std::string how = answer.substr(endedByKeeper ? 6 : 0);
    const bool exited = how.rfind("status ", 0) == 0;
    if (!exited && how.rfind("signal ", 0) != 0) {
        // A keeper ended or stopped by what it watched has ended nothing: that is done here.
        RuntimeTrial::endLeftOf(trial);
        return fail(answer.empty() ? "the run ended without an answer from its keeper" : answer);
    }
    const std::string number = how.substr(7);
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", seconds);
    std::cout << "{\"status\": " << (exited ? number : "null")
              << ", \"signal\": " << (exited ? "null" : number) << ", \"ended\": \""
              << (!endedByKeeper ? "exited"
                  : asked        ? "idle"
                                 : "time limit")
              << "\", \"seconds\": " << time << "}\n";
    return 0;
}
