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

// The most links followed in a row: as many as the kernel follows when it starts a program, so
// that no chain it started the launcher through is refused here.
#ifdef HOST_EXEC_MAXSYMLINKS
const int maxLinksInARow = HOST_EXEC_MAXSYMLINKS;
#else
const int maxLinksInARow = MAXSYMLINKS;
#endif

// The target of the link at path when lstat sees one there (isLink true), else path itself.
// Throws, except where lstat fails on a path that need not exist: that is no link.
std::string getRealPath(const std::string& path, bool& isLink, bool mustExist) {
    struct stat stats;
    isLink = false;
    if (::lstat(path.c_str(), &stats) == -1) {
        if (!mustExist) {
            return path;
        }
        throw makeException(tstrings::any()
                                << "lstat(" << path << ") failed. Error: " << lastCRTError(),
                            SOURCE_CODE_POS);
    }
    isLink = (stats.st_mode & S_IFMT) == S_IFLNK;
    if (!isLink) {
        return path;
    }

    // The link's size from lstat is a hint only (some file systems report 0, and the link may
    // change in between): grow the buffer until the whole target fits.
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
    // Dots are few in a path: only they and their neighbours are looked at. path[path.size()]
    // is the terminator, so each look ahead stays within the string.
    for (size_t at = path.find('.'); at != std::string::npos; at = path.find('.', at + 1)) {
        if (at == 0 || path[at - 1] == '/') {
            const size_t end = path[at + 1] == '.' ? at + 2 : at + 1;
            if (end == path.size() || path[end] == '/') {
                return true;
            }
        }
    }
    return false;
}

} // namespace

std::string getRealPath(const std::vector<char>& in) {
    // The text up to the first NUL: the terminator and anything a generous buffer left after it
    // are not part of the path.
    const std::string path(in.data(), in.empty() ? 0 : ::strnlen(in.data(), in.size()));
    bool isLink = false;
    return getRealPath(path, isLink, true);
}

std::string followLinks(const std::string& path) {
    std::string current = path;
    for (int followed = 0;; ++followed) {
        // A target that cannot be examined ends the chain as it is, as a single link did:
        // whoever opens a file through it reports why.
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
        // A relative target counts from the directory that holds its link, not from the
        // working directory.
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
    // The bundle's directories are the path's parents by text, which "." and ".." would
    // mislead (Contents/MacOS/../MacOS/Name is not three levels below the bundle). Only such a
    // path is resolved, the way the system resolved it; any other keeps the form it was
    // started by.
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
    const int start = mode == ExcludeProgramName ? 1 : 0;
    if (!argv) {
        return result;
    }
    for (int i = start; i < argc; ++i) {
        if (!argv[i]) {
            continue;
        }
        const std::string arg(argv[i]);
        // The desktop may add the process serial number when it opens an application.
        if (tstrings::startsWith(arg, "-psn_", tstrings::CASE_SENSITIVE)) {
            continue;
        }
        result.push_back(arg);
    }
    return result;
}

} // namespace SysInfo
