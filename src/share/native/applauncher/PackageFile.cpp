#include "PackageFile.h"

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"

std::string PackageFile::pathInAppDir(const std::string& appDir) {
    return FileUtils::combinePath(appDir, ".package");
}

PackageFile PackageFile::loadFromAppDir(const std::string& appDir) {
    const std::string path = pathInAppDir(appDir);
    if (!FileUtils::isFileExists(path)) {
        return PackageFile(std::string());
    }

    LOG_TRACE("Read \"" << path << "\" package file");

    FileUtils::LineReader reader(path);
    if (!reader.openError().empty()) {
        throw makeException(tstrings::any()
                                << "Error opening \"" << path << "\" file: " << reader.openError(),
                            SOURCE_CODE_POS);
    }

    std::string line;
    if (reader.next(line) != FileUtils::LineReader::LINE) {
        // An empty file or a failed read leaves the name empty.
        return PackageFile(std::string());
    }
    LOG_TRACE("Package name is [" << line << "]");
    return PackageFile(line);
}
