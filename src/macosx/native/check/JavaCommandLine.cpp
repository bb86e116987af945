#include "JavaCommandLine.h"

#include <algorithm>

#include "tstrings.h"

namespace {

// The value of "--name=value" when arg is that option written so, else false.
bool joinedValue(const std::string& arg, const char* name, std::string& value) {
    const std::string head = std::string(name) + "=";
    if (!tstrings::startsWith(arg, head)) {
        return false;
    }
    value = arg.substr(head.size());
    return true;
}

bool isModulePathOption(const std::string& arg) {
    return arg == "-p" || arg == "--module-path";
}

} // namespace

bool JavaCommandLine::isClassPathOption(const std::string& option) {
    return option == "-cp" || option == "-classpath" || option == "--class-path";
}

bool JavaCommandLine::takesValue(const std::string& option) {
    // As `java --help` and `java --help-extra` list them.
    static const char* const options[] = {
        "-cp",
        "-classpath",
        "--class-path",
        "-p",
        "--module-path",
        "--upgrade-module-path",
        "--add-modules",
        "--enable-native-access",
        "--limit-modules",
        "--add-reads",
        "--add-exports",
        "--add-opens",
        "--patch-module",
        "--source",
        "-d",
        "--describe-module",
        "-m",
        "--module",
    };
    for (const char* known : options) {
        if (option == known) {
            return true;
        }
    }
    return false;
}

JavaCommandLine JavaCommandLine::parse(const std::vector<std::string>& args) {
    JavaCommandLine line;
    line.mainIndex = args.size();
    line.appArgsIndex = args.size();
    line.roles.assign(args.size(), OPTION);
    if (!args.empty()) {
        line.roles[0] = PROGRAM;
    }
    // Marks what to start at index, with mode, and everything after it as the application's.
    const auto startsAt = [&](size_t index, Mode mode) {
        line.mode = mode;
        line.mainIndex = index;
        line.appArgsIndex = index + 1;
        line.roles[index] = MAIN;
        std::fill(line.roles.begin() + index + 1, line.roles.end(), APP_ARG);
    };
    std::string value;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-jar" || arg == "-m" || arg == "--module") {
            if (i + 1 < args.size()) {
                startsAt(i + 1, arg == "-jar" ? JAR : MODULE);
            }
            break;
        }
        if (joinedValue(arg, "--module", value)) {
            startsAt(i, MODULE);
            break;
        }
        if (arg.empty() || arg[0] != '-') {
            // The first argument that is no option names what to start; an "@file" too: the
            // launch library, called as the launcher calls it, expands no argument files.
            const bool source = arg.size() > 5 && tstrings::endsWith(arg, ".java");
            startsAt(i, source ? SOURCE : CLASS);
            break;
        }
        if (takesValue(arg) && i + 1 < args.size()) {
            line.roles[i + 1] = OPTION_VALUE;
            if (isClassPathOption(arg)) {
                line.classPaths.push_back(PathOption{i + 1, args[i + 1]});
            } else if (isModulePathOption(arg)) {
                line.modulePaths.push_back(PathOption{i + 1, args[i + 1]});
            }
            ++i;
        } else if (joinedValue(arg, "--class-path", value)) {
            line.classPaths.push_back(PathOption{i, value});
        } else if (joinedValue(arg, "--module-path", value)) {
            line.modulePaths.push_back(PathOption{i, value});
        }
    }
    return line;
}
