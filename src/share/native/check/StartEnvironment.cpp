#include "StartEnvironment.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

#include "FileUtils.h"
#include "InfoPlist.h"
#include "TrialHost.h"

extern char** environ;

namespace {

std::vector<std::string> environment() {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        env.emplace_back(*e);
    }
    return env;
}

std::string cwd() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

// NAME=VALUE for the variable of this process, else for fallback when that is not empty.
void putUsers(std::map<std::string, std::string>& env, const char* name,
              const std::string& fallback) {
    const char* value = std::getenv(name);
    if (value && *value) {
        env[name] = value;
    } else if (!fallback.empty()) {
        env[name] = fallback;
    }
}

// Where the start-up runs; a directory that cannot be entered leaves the check where it was
// (the findings say what a relative path becomes at the start judged).
void changeDir(const std::string& dir) {
    if (!dir.empty()) {
        [[maybe_unused]] const int ignored = ::chdir(dir.c_str());
    }
}

// launchd's environment for the bundle at rootDir: the user's HOME, USER, LOGNAME, SHELL and
// TMPDIR, a fixed PATH and launchd's own variables, then the bundle's LSEnvironment over them.
std::vector<std::string> doubleClickEnv(const std::string& rootDir) {
    std::map<std::string, std::string> env;
    const uid_t uid = ::getuid();
    const passwd* pw = ::getpwuid(uid);
    const std::string user = pw && pw->pw_name ? pw->pw_name : "";
    // The user's own, as the login session gives them to launchd.
    putUsers(env, "HOME", pw && pw->pw_dir ? pw->pw_dir : "");
    env["USER"] = user;
    env["LOGNAME"] = user;
    putUsers(env, "SHELL", pw && pw->pw_shell ? pw->pw_shell : "/bin/zsh");
    putUsers(env, "TMPDIR", "/tmp/");
    // launchd's own: the same on every Mac.
    env["PATH"] = "/usr/bin:/bin:/usr/sbin:/sbin";
    char encoding[32];
    std::snprintf(encoding, sizeof encoding, "0x%X:0x0:0x0", static_cast<unsigned>(uid));
    env["__CF_USER_TEXT_ENCODING"] = encoding;
    env["XPC_FLAGS"] = "0x0";
    TrialHost::standInForWindowServer(env);
    const InfoPlist plist = InfoPlist::read(FileUtils::combinePath(rootDir, "Contents/Info.plist"));
    const std::string id = plist.string("CFBundleIdentifier");
    env["XPC_SERVICE_NAME"] = id.empty() ? "0" : "application." + id;
    const auto ls = plist.dictionaries.find("LSEnvironment");
    if (ls != plist.dictionaries.end()) {
        for (const auto& e : ls->second) {
            if (!e.first.empty() && e.first.find('=') == std::string::npos) {
                env[e.first] = e.second;
            }
        }
    }
    std::vector<std::string> result;
    for (const auto& e : env) {
        result.push_back(e.first + "=" + e.second);
    }
    return result;
}

// This process's environment.
std::map<std::string, std::string> current() {
    std::map<std::string, std::string> env;
    for (const std::string& e : environment()) {
        const size_t eq = e.find('=');
        if (eq != std::string::npos) {
            env.emplace(e.substr(0, eq), e.substr(eq + 1));
        }
    }
    return env;
}

} // namespace

LaunchRecord::Start StartEnvironment::of(const std::string& launcherPath, bool doubleClick) {
    LaunchRecord::Start start;
    start.doubleClick = doubleClick;
    start.shell = current();
    if (doubleClick) {
        // Contents/MacOS/<name>: the bundle is three levels up.
        const std::string root =
            FileUtils::dirname(FileUtils::dirname(FileUtils::dirname(launcherPath)));
        start.env = doubleClickEnv(root);
        start.workDir = "/";
    } else {
        // The check's debug switch would mix the launcher's trace with what the runtime says.
        for (const std::string& e : environment()) {
            if (e.compare(0, 14, "VORLANE_DEBUG=") != 0) {
                start.env.push_back(e);
            }
        }
        start.workDir = cwd();
    }
    return start;
}

void StartEnvironment::set(LaunchRecord::Start& start, const std::vector<std::string>& settings) {
    for (const std::string& setting : settings) {
        const std::string name = setting.substr(0, setting.find('='));
        start.env.erase(std::remove_if(start.env.begin(), start.env.end(),
                                       [&](const std::string& e) {
                                           return e.compare(0, name.size() + 1, name + "=") == 0;
                                       }),
                        start.env.end());
        if (setting.find('=') != std::string::npos && !name.empty()) {
            start.env.push_back(setting);
        }
    }
}

void StartEnvironment::replace(const std::vector<std::string>& env) {
    for (const auto& e : current()) {
        ::unsetenv(e.first.c_str());
    }
    for (const std::string& e : env) {
        const size_t eq = e.find('=');
        if (eq != std::string::npos && eq != 0) {
            ::setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
        }
    }
}

StartEnvironment::Scope::Scope(const LaunchRecord::Start& start)
    : savedEnv(environment()), savedDir(cwd()) {
    const char* debug = std::getenv("VORLANE_DEBUG");
    const std::string keptDebug = debug ? debug : "";
    replace(start.env);
    // The debug switch is the check's own, not the start's.
    if (debug) {
        ::setenv("VORLANE_DEBUG", keptDebug.c_str(), 1);
    }
    changeDir(start.workDir);
}

StartEnvironment::Scope::~Scope() {
    replace(savedEnv);
    changeDir(savedDir);
}
