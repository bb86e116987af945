#include "MacBundle.h"

#include "AppLauncher.h"
#include "FileUtils.h"
#include "PackageFile.h"

MacBundle::MacBundle(const std::string& launcherPath)
    : theRootDir(FileUtils::dirname(FileUtils::dirname(FileUtils::dirname(launcherPath)))),
      theAppDir(FileUtils::combinePath(theRootDir, appDirPath)),
      thePackageName(PackageFile::loadFromAppDir(theAppDir).packageName()) {}

void MacBundle::setHomeDir(const std::string& homeDir) {
    theUserCfgFileDir =
        thePackageName.empty() || homeDir.empty()
            ? std::string()
            : FileUtils::combinePath(FileUtils::combinePath(homeDir, "Library/Application Support"),
                                     thePackageName);
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
