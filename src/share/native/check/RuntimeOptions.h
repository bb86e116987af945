#ifndef RUNTIMEOPTIONS_H
#define RUNTIMEOPTIONS_H

#include <string>

// The runtime's options that take a value: in the next argument ("-cp" "a.jar"), after "="
// ("--class-path=a.jar") or right after the name ("-Dname=value"); what the value is, and
// whether only the last one counts. Every unit that walks a launch's arguments reads them here.
namespace RuntimeOptions {

// What an option's value is to the runtime.
enum class Value {
    Other,
    ClassPath,   // the class path
    ModulePath,  // the module path
    Started,     // the jar or module that is started; what follows goes to the application
    Property,    // a system property, name=value
    LibraryPath, // java.library.path: the directories native libraries are loaded from
    RuntimeHome, // java.home: where the runtime reads its own files
    Flag,        // a -XX flag
    Size,        // a size the runtime takes once (-Xmx)
    Agent,       // an agent, which runs once for each time it is given
    Archive,     // a class-data archive
    Written,     // a file the runtime writes (a heap dump, an error report)
    Log,         // -Xlog's output, which may name a file
    Splash,      // the splash screen's image
};

// How an option takes its value.
enum Form : unsigned { Next = 1, Equals = 2, Prefix = 4 };

struct Option {
    const char* name;
    unsigned forms;
    Value value;
    bool once; // the runtime keeps only the last one given
};

// What one argument is by the table: the option, and its value (next: the next argument).
struct Match {
    const Option* option = nullptr;
    bool next = false;
    std::string value;
    bool is(Value v) const { return option && option->value == v; }
};

// The option arg gives, and its value; no option for an argument that the table lacks.
Match read(const std::string& arg);

// True when the argument after arg is arg's value.
inline bool takesNext(const std::string& arg) {
    return read(arg).next;
}

// What arg sets when the runtime takes it once ("-Dname", "-XX:Name", "-Xmx"), to tell it given
// again; "" for options that may rightly come more than once.
std::string setting(const std::string& arg);

} // namespace RuntimeOptions

#endif // RUNTIMEOPTIONS_H
