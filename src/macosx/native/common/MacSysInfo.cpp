#include <mach-o/dyld.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/param.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "SysInfo.h"
#include "tstrings.h"

namespace SysInfo {

int argc = 0;
char** argv = nullptr;

namespace {

// The most links followed in a row: as many as the kernel follows when it starts a program.
#ifdef HOST_EXEC_MAXSYMLINKS
const int maxLinksInARow = HOST_EXEC_MAXSYMLINKS;
#else
const int maxLinksInARow = MAXSYMLINKS;
#endif

// The link target at path (isLink), else path; throws unless !mustExist and lstat fails.
std::string getRealPath(const std::string& path, bool& isLink, bool mustExist) {
    struct stat stats;
    const bool examined = ::lstat(path.c_str(), &stats) == 0;
    if (!examined && mustExist) {
        throw makeException(tstrings::any()
                                << "lstat(" << path << ") failed. Error: " << lastCRTError(),
                            SOURCE_CODE_POS);
    }
    isLink = examined && S_ISLNK(stats.st_mode);
    if (!isLink) {
        return path;
    }

    // lstat's size is only a hint (0 on some file systems): grown until the target fits.
    std::vector<char> target(std::max<size_t>(1024, static_cast<size_t>(stats.st_size) + 1));
    for (;;) {
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) {
            throw makeException(tstrings::any()
                                    << "readlink(" << path << ") failed. Error: " << lastCRTError(),
                                SOURCE_CODE_POS);
        }
        if (static_cast<size_t>(n) < target.size()) {
            return std::string(target.data(), static_cast<size_t>(n));
        }
        target.resize(target.size() * 2);
    }
}

// True when a component of path, as the system separates them (by '/'), is "." or "..".
bool hasDotComponent(const std::string& path) {
    const std::string wrapped = "/" + path + "/";
    return wrapped.find("/./") != std::string::npos || wrapped.find("/../") != std::string::npos;
}

} // namespace

std::string getRealPath(const std::vector<char>& in) {
    // Up to the first NUL: what a generous buffer holds after it is not part of the path.
    const std::string path(in.data(), in.empty() ? 0 : ::strnlen(in.data(), in.size()));
    bool isLink = false;
    return getRealPath(path, isLink, true);
}

std::string followLinks(const std::string& path) {
    std::string current = path;
    for (int followed = 0;; ++followed) {
        // A target that cannot be examined ends the chain: whoever opens it reports why.
        bool isLink = false;
        std::string target = getRealPath(current, isLink, followed == 0);
        if (!isLink) {
            return current;
        }
        if (followed == maxLinksInARow) {
            throw makeException(tstrings::any() << "Failed to resolve \"" << path
                                                << "\" link: " << std::strerror(ELOOP),
                                SOURCE_CODE_POS);
        }
        // A relative target counts from its link's directory, not the working directory.
        const size_t slash = current.find_last_of('/');
        if (!target.empty() && !FileUtils::isDirSeparator(target[0]) &&
            slash != std::string::npos) {
            target = current.substr(0, slash + 1) + target;
        }
        current = target;
    }
}

std::string getProcessModulePath() {
    std::vector<char> buffer;
    uint32_t bufferSize = 0;
    for (;;) {
        const int status =
            _NSGetExecutablePath(buffer.empty() ? nullptr : buffer.data(), &bufferSize);
        if (status == 0) {
            break;
        }
        // A platform that asks for no more than it already got would keep us here forever.
        if (status > 0 || bufferSize <= buffer.size()) {
            throw makeException("_NSGetExecutablePath() failed", SOURCE_CODE_POS);
        }
        buffer.resize(bufferSize);
    }
    return resolveExecutablePath(
        std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size())));
}

std::string resolveExecutablePath(const std::string& execPath) {
    std::string path = FileUtils::toAbsolutePath(followLinks(execPath));
    // The bundle is found by text, which "." and ".." mislead: only then is the path resolved.
    if (hasDotComponent(path)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) {
            throw makeException(tstrings::any()
                                    << "realpath(" << path << ") failed. Error: " << lastCRTError(),
                                SOURCE_CODE_POS);
        }
        path = resolved;
        std::free(resolved);
    }
    return path;
}

std::vector<std::string> getCommandArgs(CommandArgProgramNameMode mode) {
    std::vector<std::string> result;
    for (int i = mode == ExcludeProgramName ? 1 : 0; argv && i < argc; ++i) {
        // The desktop may add the process serial number when it opens an application.
        if (argv[i] && !tstrings::startsWith(argv[i], "-psn_", tstrings::CASE_SENSITIVE)) {
            result.push_back(argv[i]);
        }
    }
    return result;
}

} // namespace SysInfo
