#include "MacBundle.h"

#include <utility>

#include "AppLauncher.h"
#include "FileUtils.h"
#include "PackageFile.h"

const char* const MacBundle::executableDirPath = "Contents/MacOS";
const char* const MacBundle::appDirPath = "Contents/app";
const char* const MacBundle::runtimeDirPath = "Contents/runtime";
const char* const MacBundle::jvmLibNames[2] = {"Contents/Home/lib/libjli.dylib",
                                               "Contents/Home/lib/jli/libjli.dylib"};
const char* const MacBundle::libEnvVariableName = "DYLD_LIBRARY_PATH";

MacBundle::MacBundle(std::string launcherPath)
    : theLauncherPath(std::move(launcherPath)),
      theRootDir(FileUtils::dirname(FileUtils::dirname(FileUtils::dirname(theLauncherPath)))),
      theAppDir(FileUtils::combinePath(theRootDir, appDirPath)),
      thePackageName(PackageFile::loadFromAppDir(theAppDir).packageName()) {}

void MacBundle::setHomeDir(const std::string& homeDir) {
    if (thePackageName.empty() || homeDir.empty()) {
        theUserCfgFileDir.clear();
        return;
    }
    theUserCfgFileDir = FileUtils::combinePath(
        FileUtils::combinePath(homeDir, "Library/Application Support"), thePackageName);
}

std::string MacBundle::packageFilePath() const {
    return PackageFile::pathInAppDir(theAppDir);
}

std::string MacBundle::defaultRuntimeDir() const {
    return FileUtils::combinePath(theRootDir, runtimeDirPath);
}

AppLauncher& MacBundle::configure(AppLauncher& launcher) const {
    launcher.setRootDir(theRootDir)
        .addJvmLibName(jvmLibNames[0])
        .addJvmLibName(jvmLibNames[1])
        .setAppDir(theAppDir)
        .setLibEnvVariableName(libEnvVariableName)
        .setDefaultRuntimeDir(defaultRuntimeDir());
    if (!theUserCfgFileDir.empty()) {
        launcher.addCfgFileDir(theUserCfgFileDir);
    }
    return launcher;
}
