#include "MacLauncher.h"

#include "AppLauncher.h"
#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "MacBundle.h"
#include "SysInfo.h"
#include "app.h"

namespace {

// Set just before the hand-off, never reset: a later entry into the program only repeats it.
Jvm* jvmLauncher = nullptr;

void launchJvm() {
    jvmLauncher->launch();
}

// The launcher's start-up stage: everything from the running executable's own path.
void startJvmLauncher() {
    MacLauncher::launch(MacLauncher::initJvmLauncher(
        SysInfo::getProcessModulePath(), SysInfo::getCommandArgs(SysInfo::ExcludeProgramName)));
}

} // namespace

// HOME is read only when the package has a name.
Jvm* MacLauncher::initJvmLauncher(const std::string& launcherPath,
                                  const std::vector<std::string>& args, Observer* observer) {
    MacBundle bundle(launcherPath);
    if (observer) {
        observer->onBundle(bundle);
    }

    if (bundle.needsHomeDir()) {
        // Without HOME the bundle's own configuration still works: reported, not fatal.
        const std::string homeDir = runReported(SOURCE_CODE_POS, std::string(),
                                                [] { return SysInfo::getEnvVariable("HOME"); });
        if (observer) {
            observer->onHomeDir(SysInfo::isEnvVariableSet("HOME"), homeDir);
        }
        bundle.setHomeDir(homeDir);
    }

    AppLauncher appLauncher(launcherPath, args);
    bundle.configure(appLauncher).setObserver(observer);
    return appLauncher.createJvmLauncher();
}

void MacLauncher::launch(Jvm* jvm) {
    jvmLauncher = jvm;
    jvmLauncher->launch();
}

bool MacLauncher::isLaunching() {
    return jvmLauncher != nullptr;
}

int MacLauncher::main(int argc, char* argv[]) {
    if (jvmLauncher) {
        return app::launch(std::nothrow, launchJvm);
    }

    SysInfo::argc = argc;
    SysInfo::argv = argv;

    return app::launch(std::nothrow, startJvmLauncher);
}
