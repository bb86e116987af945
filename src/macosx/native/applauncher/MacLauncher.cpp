#include <memory>

#include "AppLauncher.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "PackageFile.h"
#include "SysInfo.h"
#include "app.h"

namespace {

// Set by the first entry just before its hand-off and never reset: a later entry into main
// (the runtime's launch library may call it) finds it set and only repeats the hand-off.
Jvm* jvmLauncher = nullptr;

void launchJvm() {
    jvmLauncher->launch();
}

// Knows the bundle layout: Root/Contents/MacOS/<name> is the executable, Root/Contents/app
// holds the configuration, Root/Contents/runtime the default runtime.
void initJvmLauncher() {
    const std::string launcherPath = SysInfo::getProcessModulePath();
    const std::string rootDir =
        FileUtils::dirname(FileUtils::dirname(FileUtils::dirname(launcherPath)));
    const std::string appDir = FileUtils::combinePath(rootDir, "Contents/app");

    const PackageFile pkgFile = PackageFile::loadFromAppDir(appDir);

    AppLauncher appLauncher;
    appLauncher.setRootDir(rootDir)
        .addJvmLibName("Contents/Home/lib/libjli.dylib")
        .addJvmLibName("Contents/Home/lib/jli/libjli.dylib")
        .setAppDir(appDir)
        .setLibEnvVariableName("DYLD_LIBRARY_PATH")
        .setDefaultRuntimeDir(FileUtils::combinePath(rootDir, "Contents/runtime"));

    if (!pkgFile.packageName().empty()) {
        // Without HOME there is no user directory to look into; the bundle's own
        // configuration still works, so this is reported and not fatal.
        std::string homeDir;
        try {
            homeDir = SysInfo::getEnvVariable("HOME");
        } catch (const std::runtime_error& e) {
            reportError(SOURCE_CODE_POS, e);
        } catch (...) {
            reportUnknownError(SOURCE_CODE_POS);
        }

        if (!homeDir.empty()) {
            appLauncher.addCfgFileDir(FileUtils::combinePath(
                FileUtils::combinePath(homeDir, "Library/Application Support"),
                pkgFile.packageName()));
        }
    }

    jvmLauncher = appLauncher.createJvmLauncher();
    jvmLauncher->launch();
}

} // namespace

// Default visibility whatever the build's default: the runtime's launch library finds main
// through dlsym and may enter it a second time.
__attribute__((visibility("default"))) int main(int argc, char* argv[]) {
    if (jvmLauncher) {
        return app::launch(std::nothrow, launchJvm);
    }

    SysInfo::argc = argc;
    SysInfo::argv = argv;

    return app::launch(std::nothrow, initJvmLauncher);
}
