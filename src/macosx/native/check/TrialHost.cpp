// The Mac's processes, read with sysctl. Orphans go to launchd: the keeper finds them only as
// long as it remembers them or they stay in the trial's session.

#include "TrialHost.h"

#include <sys/sysctl.h>
#include <unistd.h>

std::vector<TrialHost::Process> TrialHost::processes() {
    std::vector<Process> result;
    int mib[] = {CTL_KERN, KERN_PROC, KERN_PROC_ALL, 0};
    for (int attempt = 0; attempt < 8; ++attempt) {
        size_t size = 0;
        if (::sysctl(mib, 4, nullptr, &size, nullptr, 0) != 0) {
            return result;
        }
        // Room for the processes started between the two calls.
        size += size / 8 + sizeof(kinfo_proc) * 16;
        std::vector<kinfo_proc> procs(size / sizeof(kinfo_proc));
        if (::sysctl(mib, 4, procs.data(), &size, nullptr, 0) != 0) {
            continue;
        }
        procs.resize(size / sizeof(kinfo_proc));
        for (const kinfo_proc& p : procs) {
            if (p.kp_proc.p_stat == SZOMB) {
                continue;
            }
            const pid_t pid = p.kp_proc.p_pid;
            const uint64_t started =
                static_cast<uint64_t>(p.kp_proc.p_starttime.tv_sec) * 1000000u +
                static_cast<uint64_t>(p.kp_proc.p_starttime.tv_usec);
            result.push_back({pid, p.kp_eproc.e_ppid, ::getsid(pid), started});
        }
        return result;
    }
    return result;
}

bool TrialHost::keepOrphans() {
    return false;
}

void TrialHost::standInForMac(std::vector<std::string>&) {}

// A Mac's "/" is read-only already.
void TrialHost::standInForMacRoot() {}
