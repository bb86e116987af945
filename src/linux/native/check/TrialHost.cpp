// The Linux host's processes, read from /proc, and its child subreaper.

#include "TrialHost.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>

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
        std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // "pid (name) state ppid pgrp session ..."; the name may hold anything, even ") ".
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) {
            continue; // gone meanwhile
        }
        std::istringstream fields(stat.substr(close + 1));
        char state = 0;
        long parent = 0;
        long group = 0;
        long session = 0;
        fields >> state >> parent >> group >> session;
        // The 22nd field is the start time; 6 of them are read by now.
        std::string skip;
        for (int i = 0; i < 15 && fields >> skip; ++i) {
        }
        uint64_t started = 0;
        fields >> started;
        if (fields && state != 'Z' && state != 'X') {
            result.push_back({static_cast<pid_t>(pid), static_cast<pid_t>(parent),
                              static_cast<pid_t>(session), started});
        }
    }
    ::closedir(dir);
    return result;
}

bool TrialHost::keepOrphans() {
    return ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0;
}

void TrialHost::standInForMac(std::vector<std::string>& env) {
    // A Mac runtime decodes file names as UTF-8 whatever the environment; this host's takes the
    // encoding from the locale, which a start without one leaves at ASCII.
    const bool hasLocale = std::any_of(env.begin(), env.end(), [](const std::string& v) {
        return v.rfind("LC_ALL=", 0) == 0 || v.rfind("LC_CTYPE=", 0) == 0 ||
               v.rfind("LANG=", 0) == 0;
    });
    if (!hasLocale) {
        env.push_back("LC_CTYPE=C.UTF-8");
    }
}
