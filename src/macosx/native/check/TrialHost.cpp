// The Mac's processes, read with sysctl. Orphans go to launchd: the keeper finds them only as
// long as it remembers them or they stay in the trial's session.

#include "TrialHost.h"

#include <sys/sysctl.h>
#include <unistd.h>

std::vector<TrialHost::Process> TrialHost::processes() {
    int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_ALL, 0};
    std::vector<kinfo_proc> procs;
    size_t size = 0;
    for (int attempt = 0; attempt < 8 && ::sysctl(mib, 4, nullptr, &size, nullptr, 0) == 0;
         ++attempt) {
        // Room for the processes started between the two calls (and again while they take it).
        size += size / 8 + sizeof(kinfo_proc) * 16;
        procs.resize(size / sizeof(kinfo_proc));
        if (::sysctl(mib, 4, procs.data(), &size, nullptr, 0) == 0) {
            procs.resize(size / sizeof(kinfo_proc));
            break;
        }
        procs.clear();
    }
    std::vector<Process> result;
    for (const kinfo_proc& p : procs) {
        const pid_t pid = p.kp_proc.p_pid;
        const uint64_t started = static_cast<uint64_t>(p.kp_proc.p_starttime.tv_sec) * 1000000u +
                                 static_cast<uint64_t>(p.kp_proc.p_starttime.tv_usec);
        if (p.kp_proc.p_stat != SZOMB) {
            result.push_back({pid, p.kp_eproc.e_ppid, ::getsid(pid), started});
        }
    }
    return result;
}

void TrialHost::keepOrphans() {}

void TrialHost::standInForMac(std::vector<std::string>&) {}

// A Mac's applications reach the window server without a variable.
void TrialHost::standInForWindowServer(std::map<std::string, std::string>&) {}

// A Mac's "/" is read-only already.
void TrialHost::standInForMacRoot() {}
