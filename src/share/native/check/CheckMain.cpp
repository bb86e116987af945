#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "BundleCheck.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "LibraryArch.h"
#include "MacBundle.h"
#include "MacLauncher.h"
#include "Report.h"
#include "RunMode.h"
#include "RuntimeTrial.h"
#include "StartEnvironment.h"
#include "SysInfo.h"
#include "app.h"
#include "tstrings.h"

namespace {

const char* const kUsage =
    "usage: applauncher-check [--args | --format FORMAT] [--terminal] [--no-trial]\n"
    "                         [--trial-time SECONDS] [--trial-runtime JAVA_HOME]\n"
    "                         BUNDLE [ARGUMENT...]\n"
    "       applauncher-check [--terminal] NAME.cfg\n"
    "       applauncher-check --double-click-env BUNDLE\n"
    "       applauncher-check --run [--run-option OPTION]... [--run-seconds N] [--run-idle N]\n"
    "                         [--run-log FILE] [--run-env NAME=VALUE]... [--run-home DIR]\n"
    "                         [--terminal] BUNDLE [ARGUMENT...]\n"
    "       applauncher-check --layout | --version | --arch FILE...\n"
    "  BUNDLE      the .app directory, the launcher inside it, or a directory that holds one .app\n"
    "  ARGUMENT    arguments the launcher would be started with\n"
    "  NAME.cfg    a configuration file on its own, before there is a bundle\n"
    "  --args      print only the arguments handed to the runtime, one per line\n"
    "  --format FORMAT  text (the default), json (one object: what the launch reads and\n"
    "              needs, and the findings) or github (the findings as annotations)\n"
    "  --terminal  judge a start typed in this shell (its environment and working directory)\n"
    "              instead of a double-click (launchd's environment and the bundle's\n"
    "              LSEnvironment, working directory /), which is what users do\n"
    "  --double-click-env  print the environment a double-click gives the bundle's launcher,\n"
    "              each NAME=VALUE ended by a NUL byte\n"
    "  --no-trial  do not start the bundle's runtime for its own verdict (a dry run, in which\n"
    "              a -javaagent's premain runs and a splash screen shows for a moment)\n"
    "  --trial-time SECONDS  how long that dry run may take (default: 60)\n"
    "  --trial-runtime JAVA_HOME  the installed runtime (of the bundle runtime's version) that\n"
    "              stands in for a bundle runtime that cannot run here (default: JAVA_HOME, else\n"
    "              the java on PATH)\n"
    "  --run       start the bundle for real as the check's trial starts it, and print how it\n"
    "              ended as JSON: --run-option adds a Java option after the configured ones,\n"
    "              --run-seconds ends it after N seconds (default 60; SIGTERM first), --run-idle\n"
    "              once no class loaded for N seconds, --run-log takes its output, --run-env\n"
    "              sets a variable (NAME alone removes it), --run-home sets HOME\n"
    "  --layout    print where the launcher looks for things in a bundle, one key=value a line\n"
    "  --arch      print what each file's header says it is built for: the format (ELF, Mach-O,\n"
    "              universal, unknown), its architectures joined by \",\" (- for none), the path\n"
    "  --version   print the version\n"
    "exit status: 0 nothing to report, 2 warnings, 1 errors: the launch would fail\n";

BundleCheck* theCheck = nullptr;
bool argsOnly = false;
std::string cfgFile;
// "text", "json" or "github".
std::string format = "text";

// The exit status of a check: 1 when the launcher fails or a finding is an error, 2 for
// warnings only, else 0.
int statusOf(const BundleCheck& check, bool launcherFails) {
    if (launcherFails || check.hasErrors()) {
        return 1;
    }
    return check.diagnostics().empty() ? 0 : 2;
}

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

void printArchs(char** files, int count) {
    for (int i = 0; i < count; ++i) {
        const LibraryArch arch = LibraryArch::ofFile(files[i]);
        std::cout << (arch.format.empty() ? "unknown" : arch.format) << " "
                  << (arch.archs.empty() ? std::string("-") : tstrings::join(arch.archs, ","))
                  << " " << files[i] << "\n";
    }
}

// The launcher's own line for the failure being handled, as the launch frame prints it.
std::string failureText() {
    try {
        throw;
    } catch (const VorlaneErrorBase& e) {
        return e.rawMessage();
    } catch (...) {
        return "the check failed";
    }
}

// Prints the check in the chosen format; failed while the launcher's failure is being handled.
void print(bool failed) {
    const std::string launcherError = failed ? failureText() : "";
    if (format == "json") {
        Report::printJson(std::cout, *theCheck, statusOf(*theCheck, failed), launcherError);
    } else if (format == "github") {
        Report::printGithub(std::cout, *theCheck, launcherError);
    } else {
        theCheck->printReport(std::cout);
        Report::printDiagnostics(std::cout, *theCheck);
        if (!failed) {
            std::cout << summary(theCheck->diagnostics()) << "\n";
        }
    }
}

// Runs inside the launch frame, like the launcher's own start-up, so that a failure ends with
// the launcher's own line and the debug switch gives the launcher's trace.
void checkBundle() {
    try {
        if (cfgFile.empty()) {
            theCheck->run();
        } else {
            theCheck->runCfgFile(cfgFile);
        }
    } catch (...) {
        if (!argsOnly) {
            print(true);
        }
        std::cout.flush();
        throw;
    }
    if (argsOnly) {
        // The runtime gets C strings: an argument ends at its first NUL byte.
        for (const std::string& arg : theCheck->record().launch->args) {
            std::cout << arg.c_str() << "\n";
        }
    } else {
        print(false);
    }
    std::cout.flush();
}

bool isCfgFile(const std::string& path) {
    struct stat st;
    return tstrings::endsWith(path, ".cfg") && path.size() > 4 && ::stat(path.c_str(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

// Says text as the one line of a failure; the exit status 1.
int fail(const std::string& text) {
    std::cerr << "applauncher-check: " << text << "\n";
    return 1;
}

int usageError(const std::string& text) {
    return fail(text + " (applauncher-check --help for help)");
}

// The launcher of the bundle or launcher path named, into launcher; false, said, when none.
bool findLauncher(const char* named, std::string& launcher) {
    try {
        launcher = BundleCheck::findLauncher(named);
        return true;
    } catch (const VorlaneErrorBase& e) {
        fail(e.rawMessage());
    } catch (const std::exception& e) {
        fail(e.what());
    }
    return false;
}

// What is neither an option nor a configuration file must be a directory or an executable.
bool isBundleOrLauncher(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode) ||
           !LibraryArch::ofFile(path).format.empty();
}

// A number of seconds from 1 to most, into seconds; false when value is none.
bool secondsOf(const char* value, unsigned& seconds, long most = 86400) {
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    seconds = static_cast<unsigned>(n);
    return *value && !*end && n >= 1 && n <= most;
}

// The launcher's arguments after argv[first], the bundle: the launcher drops what the desktop
// adds ("-psn_..."), and so does the check.
std::vector<std::string> argsFrom(int argc, char* argv[], int first) {
    SysInfo::argc = argc - first;
    SysInfo::argv = argv + first;
    return SysInfo::getCommandArgs(SysInfo::ExcludeProgramName);
}

// applauncher-check --run: options from argv[2] on, then the bundle and its arguments.
int runMain(int argc, char* argv[]) {
    RunMode::Options options;
    int first = 2;
    for (; first < argc; ++first) {
        const std::string option = argv[first];
        const char* value = first + 1 < argc ? argv[first + 1] : nullptr;
        if (option == "--terminal") {
            options.doubleClick = false;
            continue;
        }
        if (!value || option.compare(0, 6, "--run-") != 0) {
            break;
        }
        ++first;
        if (option == "--run-option") {
            options.javaOptions.push_back(value);
        } else if (option == "--run-env") {
            options.env.push_back(value);
        } else if (option == "--run-home") {
            options.home = FileUtils::toAbsolutePath(value);
        } else if (option == "--run-log") {
            options.log = value;
        } else if (option != "--run-seconds" && option != "--run-idle") {
            return usageError("unknown option " + option);
        } else if (!secondsOf(value, option == "--run-idle" ? options.idle : options.seconds)) {
            return usageError(option + " takes a number of seconds from 1 to 86400");
        }
    }
    std::string launcher;
    if (first >= argc) {
        return usageError("--run needs a bundle");
    }
    if (argv[first][0] == '-') {
        return usageError(std::string("unknown option ") + argv[first]);
    }
    if (!findLauncher(argv[first], launcher)) {
        return 1;
    }
    options.args = argsFrom(argc, argv, first);
    return RunMode::run(launcher, options);
}

// status, unless the output could not be written: a script reading it would take a part for
// the whole.
int written(int status) {
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return fail(std::string("cannot write the output: ") + std::strerror(errno));
    }
    return status;
}

int checkMain(int argc, char* argv[]) {
    SysInfo::argc = argc;
    SysInfo::argv = argv;

    const auto is = [&](int i, const char* option) {
        return i < argc && std::strcmp(argv[i], option) == 0;
    };
    if (argc == 2 && is(1, "--version")) {
        std::cout << "applauncher-check " APPLAUNCHER_VERSION "\n";
        return 0;
    }
    if (argc == 2 && is(1, "--layout")) {
        printLayout(std::cout);
        return 0;
    }
    if (argc > 2 && is(1, "--arch")) {
        printArchs(argv + 2, argc - 2);
        return 0;
    }
    if (is(1, "--run")) {
        return runMain(argc, argv);
    }
    if (argc == 3 && is(1, "--double-click-env")) {
        std::string launcher;
        if (!findLauncher(argv[2], launcher)) {
            return 1;
        }
        for (const std::string& e : StartEnvironment::of(launcher, true).env) {
            std::cout << e << '\0';
        }
        std::cout.flush();
        return std::cout.good() ? 0 : 1;
    }
    BundleCheck::Options options;
    int first = 1;
    for (;; ++first) {
        if (is(first, "--args")) {
            argsOnly = true;
            options.trial = false;
        } else if (is(first, "--format")) {
            format = first + 1 < argc ? argv[first + 1] : "";
            if (format != "text" && format != "json" && format != "github") {
                return usageError("--format takes text, json or github");
            }
            ++first;
        } else if (is(first, "--terminal")) {
            options.doubleClick = false;
        } else if (is(first, "--no-trial")) {
            options.trial = false;
        } else if (is(first, "--trial-time")) {
            if (!secondsOf(first + 1 < argc ? argv[first + 1] : "", options.trialSeconds, 3600)) {
                return usageError("--trial-time takes a number of seconds from 1 to 3600");
            }
            ++first;
        } else if (is(first, "--trial-runtime") && first + 1 < argc) {
            options.trialRuntime = argv[++first];
        } else {
            break;
        }
    }
    if (is(first, "-h") || is(first, "--help")) {
        std::cout << kUsage;
        return 0;
    }
    if (first >= argc) {
        std::cerr << kUsage;
        return 1;
    }
    struct stat st;
    if (argv[first][0] == '-' && ::stat(argv[first], &st) != 0) {
        return usageError(std::string("unknown option ") + argv[first]);
    }

    std::string launcherPath;
    if (isCfgFile(argv[first])) {
        if (first + 1 < argc) {
            return usageError("a configuration file on its own takes no arguments");
        }
        cfgFile = argv[first];
    } else if (!isBundleOrLauncher(argv[first])) {
        return fail(std::string(argv[first]) +
                    " is neither a bundle, a launcher, a .cfg file nor a directory");
    } else if (!findLauncher(argv[first], launcherPath)) {
        return 1;
    }

    BundleCheck check(launcherPath, argsFrom(argc, argv, first), options);
    theCheck = &check;
    return statusOf(check, app::launch(std::nothrow, checkBundle) != 0);
}

} // namespace

int main(int argc, char* argv[]) {
    // The runtime's launch library may enter the program again during a trial start.
    if (MacLauncher::isLaunching()) {
        return MacLauncher::main(argc, argv);
    }
    // The trial's own processes: the check's executable started again.
    const int trialStatus = RuntimeTrial::processMain(argc, argv);
    if (trialStatus >= 0) {
        return trialStatus;
    }
    return written(checkMain(argc, argv));
}
