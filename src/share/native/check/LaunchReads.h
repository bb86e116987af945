#ifndef LAUNCHREADS_H
#define LAUNCHREADS_H

#include <optional>
#include <string>
#include <vector>

#include "CfgDiagnostics.h"
#include "LaunchRecord.h"

// What a recorded launch reads and starts, as data for tools: taken from the arguments the
// launcher hands over (with the configuration line of each), the runtime's own listing of its
// class and module paths where the trial gave one, and the jars' manifests.
namespace LaunchReads {

// One file or directory the launch reads.
struct Read {
    std::string path;    // absolute, as the runtime opens it ("." and ".." taken out)
    std::string kind;    // class-path, module-path, main-jar, agent, splash, library-path,
                         // manifest-class-path, file
    bool inside = false; // below the bundle's directory, links resolved
    bool exists = false;
    size_t line = 0;      // the configuration line that names it, or the jar whose manifest does
    std::string manifest; // the jar whose manifest Class-Path names it ("": none)
    std::string given;    // as named: relative or not, "dir/*" for what a directory brings in
    std::string option;   // the java-options value that names it ("": none)
    size_t finding = 0;   // the line of the finding that names it as read from outside (0: none)
};

// What the launch starts: its main class, module and jar as handed over ("" where none).
struct Main {
    std::string mainClass;
    std::string module;
    std::string moduleClass; // the class a main module's value names
    std::string jar;
};

// Everything rec's launch reads, each once, in the runtime's order: what its options name, its
// class and module paths, each jar followed by what its manifest names; empty without a launch.
std::vector<Read> reads(const LaunchRecord& rec, const CfgDiagnostics& lines);

// The main class, module and jar that rec's launch hands to the runtime.
Main main(const LaunchRecord& rec);

// The classes the launch starts: the main class (a main jar's Main-Class, a module's class where
// its value names one), each agent jar's Premain-Class and the main jar's Launcher-Agent-Class.
std::vector<std::string> roots(const LaunchRecord& rec);

// The path with every link and "..", as the system opens it; "" when it does not exist.
std::string realPath(const std::string& path);
// True when path is dir or lies below it, as written.
bool isWithin(const std::string& path, const std::string& dir);

} // namespace LaunchReads

#endif // LAUNCHREADS_H
