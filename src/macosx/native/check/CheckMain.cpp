#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "BundleCheck.h"
#include "ErrorHandling.h"
#include "LibraryArch.h"
#include "MacBundle.h"
#include "SysInfo.h"
#include "app.h"
#include "tstrings.h"

namespace {

const char* const kUsage =
    "usage: applauncher-check [--args] BUNDLE [ARGUMENT...]\n"
    "       applauncher-check --layout | --version | --arch FILE...\n"
    "  BUNDLE    the .app directory, or the launcher inside it\n"
    "  ARGUMENT  arguments the launcher would be started with\n"
    "  --args    print only the arguments handed to the runtime, one per line\n"
    "  --layout  print where the launcher looks for things in a bundle, one key=value a line\n"
    "  --arch    print what each file's header says it is built for: the format (ELF, Mach-O,\n"
    "            universal, unknown), its architectures joined by \",\" (- for none), the path\n"
    "  --version print the version\n"
    "exit status: 0 nothing to report, 2 warnings, 1 errors: the launch would fail\n";

BundleCheck* theCheck = nullptr;

// "no warnings", "2 warnings", "1 error, 1 warning".
std::string summary(const std::vector<Diagnostic>& found) {
    const size_t errors = static_cast<size_t>(
        std::count_if(found.begin(), found.end(), [](const Diagnostic& d) { return d.error; }));
    const size_t warnings = found.size() - errors;
    const auto counted = [](size_t n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    if (errors == 0) {
        return warnings == 0 ? "no warnings" : counted(warnings, "warning");
    }
    return counted(errors, "error") + (warnings ? ", " + counted(warnings, "warning") : "");
}
bool argsOnly = false;

// The bundle layout as the launcher has it, for tools that lay bundles out: each list in the
// order the launcher tries it. Paths of launch libraries are below a runtime directory.
void printLayout(std::ostream& out) {
    out << "executable-dir=" << MacBundle::executableDirPath << "\n"
        << "app-dir=" << MacBundle::appDirPath << "\n"
        << "runtime-dir=" << MacBundle::runtimeDirPath << "\n";
    for (const char* lib : MacBundle::jvmLibNames) {
        out << "launch-library=" << lib << "\n";
    }
    out << "library-path-variable=" << MacBundle::libEnvVariableName << "\n";
}

// Runs inside the launch frame, like the launcher's own start-up, so that a failure ends with
// the launcher's own line and the debug switch gives the launcher's trace.
void checkBundle() {
    try {
        theCheck->run();
    } catch (...) {
        if (!argsOnly) {
            theCheck->printReport(std::cout);
            theCheck->printDiagnostics(std::cout);
            std::cout.flush();
        }
        throw;
    }
    if (argsOnly) {
        // The runtime gets C strings: an argument ends at its first NUL byte.
        for (const std::string& arg : theCheck->record().launch->args) {
            std::cout << arg.c_str() << "\n";
        }
    } else {
        theCheck->printReport(std::cout);
        theCheck->printDiagnostics(std::cout);
        std::cout << summary(theCheck->diagnostics()) << "\n";
    }
    std::cout.flush();
}

} // namespace

int main(int argc, char* argv[]) {
    SysInfo::argc = argc;
    SysInfo::argv = argv;

    int first = 1;
    if (first < argc && std::strcmp(argv[first], "--args") == 0) {
        argsOnly = true;
        ++first;
    }
    if (first < argc &&
        (std::strcmp(argv[first], "-h") == 0 || std::strcmp(argv[first], "--help") == 0)) {
        std::cout << kUsage;
        return 0;
    }
    if (first == 1 && argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "applauncher-check " APPLAUNCHER_VERSION "\n";
        return 0;
    }
    if (first == 1 && argc == 2 && std::strcmp(argv[1], "--layout") == 0) {
        printLayout(std::cout);
        return 0;
    }
    if (first == 1 && argc > 2 && std::strcmp(argv[1], "--arch") == 0) {
        for (int i = 2; i < argc; ++i) {
            const LibraryArch arch = LibraryArch::ofFile(argv[i]);
            std::cout << (arch.format.empty() ? "unknown" : arch.format) << " "
                      << (arch.archs.empty() ? std::string("-")
                                             : tstrings::join(arch.archs.begin(), arch.archs.end(),
                                                              std::string(",")))
                      << " " << argv[i] << "\n";
        }
        return 0;
    }
    if (first >= argc) {
        std::cerr << kUsage;
        return 1;
    }

    std::string launcherPath;
    try {
        launcherPath = BundleCheck::findLauncher(argv[first]);
    } catch (const VorlaneErrorBase& e) {
        std::cerr << "applauncher-check: " << e.rawMessage() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "applauncher-check: " << e.what() << "\n";
        return 1;
    }

    // The launcher drops what the desktop adds ("-psn_..."); so does the check.
    SysInfo::argc = argc - first;
    SysInfo::argv = argv + first;
    const std::vector<std::string> args = SysInfo::getCommandArgs(SysInfo::ExcludeProgramName);

    BundleCheck check(launcherPath, args);
    theCheck = &check;
    if (app::launch(std::nothrow, checkBundle) != 0) {
        return 1;
    }
    if (check.hasErrors()) {
        return 1;
    }
    return check.diagnostics().empty() ? 0 : 2;
}
