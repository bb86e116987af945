#include <sys/stat.h>
#include <unistd.h>

#include "ErrorHandling.h"
#include "FileUtils.h"

namespace FileUtils {

bool isFileExists(const std::string& path) {
    struct stat buf;
    return ::stat(path.c_str(), &buf) == 0;
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
