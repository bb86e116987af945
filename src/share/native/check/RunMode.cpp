#include "RunMode.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iomanip>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

#include "BundleCheck.h"
#include "Experiments.h"
#include "FileUtils.h"
#include "RuntimeTrial.h"
#include "app.h"

namespace {

// How long the runtime may take after SIGTERM before everything of the run is killed: writing a
// class-data archive of a large application on the way out takes a while.
const unsigned kGraceSeconds = 300;

int fail(const std::string& text) {
    std::cerr << "applauncher-check: " << text << "\n";
    return 1;
}

// A directory of its own for the runtime's class-load log, removed with it.
struct ClassLog {
    explicit ClassLog(bool wanted) {
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = tmp && *tmp ? FileUtils::removeTrailingSlash(tmp) : "/tmp";
        // The log's path goes into an -Xlog option, whose syntax these characters belong to.
        std::string dir = (base.find_first_of(":,\"= ") == std::string::npos ? base : "/tmp") +
                          "/applauncher-check-run.XXXXXX";
        path = wanted && ::mkdtemp(&dir[0]) ? dir + "/classes.log" : "";
    }
    ~ClassLog() {
        if (!path.empty()) {
            ::unlink(path.c_str());
            ::rmdir(FileUtils::dirname(path).c_str());
        }
    }

    // The log's size, -1 while there is none.
    long long size() const {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    }

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
    // The launcher's road runs in the launch frame, as the launcher's own does; where it fails,
    // its own line says why.
    static BundleCheck* check = nullptr;
    BundleCheck road(launcherPath, options.args, checkOptions);
    check = &road;
    if (app::launch(std::nothrow, [] { check->run(); }) != 0) {
        return 1;
    }
    const LaunchRecord& rec = road.record();
    if (!rec.handOffOk) {
        return fail("cannot run " + launcherPath +
                    " here: " + (rec.trial ? rec.trial->missing : rec.handOff.value_or("")));
    }
    const ClassLog classLog(options.idle != 0);
    if (options.idle && classLog.path.empty()) {
        return fail(std::string("cannot make a directory for the class-load log: ") +
                    std::strerror(errno));
    }
    std::vector<std::string> added = options.javaOptions;
    if (options.idle) {
        added.insert(added.begin(), "-Xlog:class+load:file=" + classLog.path);
    }
    const LaunchRecord::Launch launch = Experiments::with(*rec.launch, added, true);

    const std::string log = options.log.empty() ? "/dev/null" : options.log;
    const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (output < 0) {
        return fail("cannot write " + log + ": " + std::strerror(errno));
    }
    const double started = RuntimeTrial::now();
    long long loaded = classLog.size();
    double changed = RuntimeTrial::now();
    const RuntimeTrial::Ending ending = RuntimeTrial::watch(
        launch, rec.start, options.seconds, kGraceSeconds, output, [&](const std::string&) {
            if (classLog.size() != loaded) {
                loaded = classLog.size();
                changed = RuntimeTrial::now();
            }
            return options.idle && RuntimeTrial::now() - changed >= options.idle;
        });
    const double seconds = RuntimeTrial::now() - started;
    ::close(output);
    if (!ending.keeperGone.empty() || !ending.missing.empty()) {
        return fail(ending.keeperGone.empty() ? ending.missing
                                              : "the run ended without an answer from its keeper");
    }
    const std::string number = std::to_string(ending.number);
    std::cout << "{\"status\": " << (ending.exited ? number : "null")
              << ", \"signal\": " << (ending.exited ? "null" : number) << ", \"ended\": \""
              << (!ending.ended  ? "exited"
                  : ending.asked ? "idle"
                                 : "time limit")
              << "\", \"seconds\": " << std::fixed << std::setprecision(1) << seconds << "}\n";
    return 0;
}
