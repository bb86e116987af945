// The Linux host's processes, read from /proc, its child subreaper, and what stands in for a
// Mac's locale and its read-only "/".

#include "TrialHost.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

std::vector<TrialHost::Process> TrialHost::processes() {
    std::vector<Process> result;
    DIR* dir = ::opendir("/proc");
    if (!dir) {
        return result;
    }
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end) {
            continue;
        }
        // One read takes the line the kernel makes; it fails (ESRCH) for a process gone meanwhile.
        char stat[4096] = {};
        const int fd =
            ::open((std::string("/proc/") + entry->d_name + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            (void)!::read(fd, stat, sizeof stat - 1);
            ::close(fd);
        }
        // "pid (name) state ppid pgrp session ..."; the name may hold anything, even ") ". The
        // 22nd field is the start time.
        const char* const close = std::strrchr(stat, ')');
        char state = 0;
        long parent = 0;
        long session = 0;
        unsigned long long started = 0;
        if (close &&
            std::sscanf(close + 1,
                        " %c %ld %*s %ld %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s "
                        "%*s %llu",
                        &state, &parent, &session, &started) == 4 &&
            state != 'Z' && state != 'X') {
            result.push_back({static_cast<pid_t>(pid), static_cast<pid_t>(parent),
                              static_cast<pid_t>(session), started});
        }
    }
    ::closedir(dir);
    return result;
}

void TrialHost::keepOrphans() {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
}

void TrialHost::standInForMac(std::vector<std::string>& env) {
    // A Mac runtime decodes file names as UTF-8 whatever the environment; this host's takes the
    // encoding from the locale, which a start without one leaves at ASCII.
    if (std::none_of(env.begin(), env.end(), [](const std::string& v) {
            return v.rfind("LC_ALL=", 0) == 0 || v.rfind("LC_CTYPE=", 0) == 0 ||
                   v.rfind("LANG=", 0) == 0;
        })) {
        env.push_back("LC_CTYPE=C.UTF-8");
    }
}

void TrialHost::standInForWindowServer(std::map<std::string, std::string>& env) {
    // What a Mac's desktop gives every application it starts, the display, is a variable here;
    // without it a Swing application started as by a double-click fails.
    for (const char* name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(name)) {
            env[name] = value;
        }
    }
}

void TrialHost::standInForMacRoot() {
    // Root may write into "/" here, where a double-click's relative paths land. In a mount
    // namespace of the trial's own, every directory below "/" is bound again and the root mount
    // made read-only: only "/" itself refuses. Without the namespace, the trial goes on.
    if (::geteuid() != 0 || ::access("/", W_OK) != 0 || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return;
    }
    if (DIR* dir = ::opendir("/")) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string path = std::string("/") + entry->d_name;
            struct stat st;
            if (path != "/." && path != "/.." && ::lstat(path.c_str(), &st) == 0 &&
                S_ISDIR(st.st_mode)) {
                ::mount(path.c_str(), path.c_str(), nullptr, MS_BIND | MS_REC, nullptr);
            }
        }
        ::closedir(dir);
    }
    ::mount(nullptr, "/", nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
}
