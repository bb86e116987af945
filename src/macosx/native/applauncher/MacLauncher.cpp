#include <memory>

#include "AppLauncher.h"
#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "MacBundle.h"
#include "SysInfo.h"
#include "app.h"

namespace {

// Set by the first entry just before its hand-off and never reset: a later entry into main
// (the runtime's launch library may call it) finds it set and only repeats the hand-off.
Jvm* jvmLauncher = nullptr;

void launchJvm() {
    jvmLauncher->launch();
}

// The bundle's layout and package come from MacBundle; HOME is read here, and only when the
// package has a name.
void initJvmLauncher() {
    MacBundle bundle(SysInfo::getProcessModulePath());

    if (bundle.needsHomeDir()) {
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
        bundle.setHomeDir(homeDir);
    }

    AppLauncher appLauncher;
    bundle.configure(appLauncher);

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
