#ifndef JAVACOMMANDLINE_H
#define JAVACOMMANDLINE_H

#include <string>
#include <vector>

// How the Java runtime reads the arguments it is started with: its own options first, then
// what to start (a class, a jar, a module or a source file), then the application's arguments.
struct JavaCommandLine {
    enum Mode { NONE, CLASS, JAR, MODULE, SOURCE };
    // What each argument is to the runtime.
    enum Role { PROGRAM, OPTION, OPTION_VALUE, MAIN, APP_ARG };

    Mode mode = NONE;
    // The argument that names the class, jar, module or source file; args.size() for none.
    size_t mainIndex = 0;
    // The first of the application's arguments; args.size() when there are none.
    size_t appArgsIndex = 0;
    // Each class path and module path the options set, as the index of the argument that holds
    // the value (for "--class-path=x" the option itself) and the value; the last one counts.
    struct PathOption {
        size_t index;
        std::string value;
    };
    std::vector<PathOption> classPaths;
    std::vector<PathOption> modulePaths;
    // The role of each argument.
    std::vector<Role> roles;

    // The reading of args, where args[0] is the program.
    static JavaCommandLine parse(const std::vector<std::string>& args);

    // True for the runtime's options that take the next argument as their value.
    static bool takesValue(const std::string& option);
    // True for the options whose value is the class path.
    static bool isClassPathOption(const std::string& option);
};

#endif // JAVACOMMANDLINE_H
