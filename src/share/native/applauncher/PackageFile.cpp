#include "PackageFile.h"

#include <fstream>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"

PackageFile PackageFile::loadFromAppDir(const std::string& appDir) {
    const std::string path = FileUtils::combinePath(appDir, ".package");
    if (!FileUtils::isFileExists(path)) {
        return PackageFile(std::string());
    }

    LOG_TRACE("Read \"" << path << "\" package file");

    std::ifstream input(path.c_str());
    if (!input.good()) {
        const std::string error = lastCRTError();
        throw makeException(tstrings::any() << "Error opening \"" << path << "\" file: " << error,
                            SOURCE_CODE_POS);
    }

    std::string line;
    if (!std::getline(input, line)) {
        // An empty file or a failed read leaves the name empty.
        return PackageFile(std::string());
    }
    LOG_TRACE("Package name is [" << line << "]");
    return PackageFile(line);
}
