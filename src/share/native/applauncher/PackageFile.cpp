#include "PackageFile.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The first line of the file without its line feed; false when not a single byte could be
// read (an empty file or a read error). A C stream rather than an iostream: opening one of
// those sets up the locale machinery, which costs more than the rest of a launch.
bool readFirstLine(std::FILE* file, std::string& line) {
    bool any = false;
    for (int c = std::getc(file); c != EOF; c = std::getc(file)) {
        any = true;
        if (c == '\n') {
            return true;
        }
        line += static_cast<char>(c);
    }
    return any && !std::ferror(file);
}

} // namespace

std::string PackageFile::pathInAppDir(const std::string& appDir) {
    return FileUtils::combinePath(appDir, ".package");
}

PackageFile PackageFile::loadFromAppDir(const std::string& appDir) {
    const std::string path = pathInAppDir(appDir);
    if (!FileUtils::isFileExists(path)) {
        return PackageFile(std::string());
    }

    LOG_TRACE("Read \"" << path << "\" package file");

    const std::unique_ptr<std::FILE, FileCloser> file(FileUtils::openRegularFile(path));
    if (!file) {
        const std::string error = errno ? lastCRTError() : "not a regular file";
        throw makeException(tstrings::any() << "Error opening \"" << path << "\" file: " << error,
                            SOURCE_CODE_POS);
    }

    std::string line;
    if (!readFirstLine(file.get(), line)) {
        // An empty file or a failed read leaves the name empty.
        return PackageFile(std::string());
    }
    LOG_TRACE("Package name is [" << line << "]");
    return PackageFile(line);
}
