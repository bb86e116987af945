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

Env javaEnv() {
    Env env = baseEnv();
#ifdef LAUNCHER_SANITIZED
    // The leak checker cannot scan a process that runs the runtime, and Java 25's dump of a
    // dynamic archive copies a few bytes past the runtime's own allocations (it is not built
    // for the sanitizer): reports from calls that the runtime's library makes are not ours.
    static TempDir suppressions;
    const std::string file = suppressions / "jvm.supp";
    writeFile(file, "interceptor_via_lib:libjvm.so\n");
    std::string& options = env["ASAN_OPTIONS"];
    options += (options.empty() ? "" : ":") + std::string("detect_leaks=0:suppressions=") + file;
#endif
    return env;
}

std::vector<std::string> archiveOptions() {
#ifdef LAUNCHER_SANITIZED
    return {"-a", "--trial-env", "ASAN_OPTIONS=" + javaEnv()["ASAN_OPTIONS"]};
#else
    return {"-a"};
#endif
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
    // Many of these bundles are broken on purpose, and make-bundle refuses a bundle that
    // applauncher-check finds broken: they are laid out here as make-bundle lays one out, the
    // launch library copied to the first (or second) of the two places.
    const std::string bundle = apps + "/" + name + ".app";
    run("/bin/rm", {"-rf", bundle}, baseEnv());
    makeDirs(bundle + "/Contents/MacOS");
    makeDirs(bundle + "/Contents/app");
    const std::string launcher = bundle + "/Contents/MacOS/" + name;
    writeFile(launcher, readFile(APPLAUNCHER_PATH));
    EXPECT_EQ(0, ::chmod(launcher.c_str(), 0755)) << std::strerror(errno);
    writeFile(bundle + "/Contents/app/" + name + ".cfg", cfg);
    if (!jli.empty()) {
        const std::string lib =
            bundle + "/Contents/runtime/Contents/Home/lib" + (secondLocation ? "/jli" : "");
        makeDirs(lib);
        // A copy: a runtime that leads out of the bundle is a finding of its own.
        writeFile(lib + "/libjli.dylib", readFile(jli));
    }
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
