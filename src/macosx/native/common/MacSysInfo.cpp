#include <mach-o/dyld.h>

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "SysInfo.h"
#include "tstrings.h"

namespace SysInfo {

int argc = 0;
char** argv = nullptr;

std::string getRealPath(const std::vector<char>& in) {
    // The text up to the first NUL: the terminator and anything a generous buffer left after it
    // are not part of the path.
    const std::string path(in.data(), in.empty() ? 0 : ::strnlen(in.data(), in.size()));

    struct stat stats;
    if (::lstat(path.c_str(), &stats) == -1) {
        throw makeException(tstrings::any()
                                << "lstat(" << path << ") failed. Error: " << lastCRTError(),
                            SOURCE_CODE_POS);
    }
    if ((stats.st_mode & S_IFMT) != S_IFLNK) {
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

namespace {

// execPath resolved as the executable finds itself; buffer holds the same path NUL-terminated.
std::string resolveExecutable(const std::string& execPath, const std::vector<char>& buffer) {
    std::string path = getRealPath(buffer);
    // A relative link target counts from the directory that holds the link, not from the
    // working directory, so a launcher started through such a link still finds itself.
    if (path != execPath && !path.empty() && !FileUtils::isDirSeparator(path[0])) {
        const size_t slash = execPath.find_last_of('/');
        if (slash != std::string::npos) {
            path = execPath.substr(0, slash + 1) + path;
        }
    }
    return FileUtils::toAbsolutePath(path);
}

} // namespace

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
    return resolveExecutable(std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size())),
                             buffer);
}

std::string resolveExecutablePath(const std::string& execPath) {
    return resolveExecutable(
        execPath, std::vector<char>(execPath.c_str(), execPath.c_str() + execPath.size() + 1));
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
