#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ErrorHandling.h"
#include "FileUtils.h"

namespace FileUtils {

bool isFileExists(const std::string& path) {
    struct stat buf;
    return ::stat(path.c_str(), &buf) == 0;
}

std::FILE* openRegularFile(const std::string& path) {
    // Without waiting: a FIFO would block the open until a writer comes; files are not affected.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    const bool usable =
        fd >= 0 && ::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode));
    std::FILE* file = usable ? ::fdopen(fd, "r") : nullptr;
    if (!file && fd >= 0) {
        // Only a failed fdopen has an errno worth keeping; other objects are "not regular".
        const int error = usable ? errno : 0;
        ::close(fd);
        errno = error;
    }
    return file;
}

std::string toAbsolutePath(const std::string& path) {
    if (!path.empty() && isDirSeparator(path[0])) {
        return path;
    }
    char buffer[1024] = {};
    if (!::getcwd(buffer, sizeof(buffer))) {
        throw makeException(tstrings::any() << "getcwd() failed. Error: " << lastCRTError(),
                            SOURCE_CODE_POS);
    }
    if (buffer[0] == 0) {
        throw makeException("getcwd() returned empty string", SOURCE_CODE_POS);
    }
    return path.empty() ? std::string(buffer) : combinePath(buffer, path);
}

std::string stripExeSuffix(const std::string& path) {
    return path;
}

} // namespace FileUtils
