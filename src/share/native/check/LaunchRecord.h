#ifndef LAUNCHRECORD_H
#define LAUNCHRECORD_H

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "CfgFile.h"

// One value of the configuration: its section, property and place in the property's list.
struct ValueRef {
    CfgFile::SectionId section;
    CfgFile::PropertyId property;
    size_t index;
};

// What the launcher decided on its way to the hand-off, in the order it decided, as far as it
// got: each part is present once the launcher reported it.
struct LaunchRecord {
    struct Bundle {
        std::string rootDir;
        std::string appDir;
        std::string packageFile;
        bool packageFileExists = false;
        std::string packageName;
        // HOME is read only when the user's configuration is looked for.
        bool readsHome = false;
        bool homeSet = false;
        std::string home;
    };
    struct CfgChoice {
        std::vector<std::pair<std::string, bool>> candidates; // user files, and whether they exist
        std::string path;
        std::string bundlePath; // the application directory's file
    };
    struct Expansion {
        struct Change {
            ValueRef value;
            std::string from;
            std::string to;
        };
        struct Unresolved {
            ValueRef value;
            std::string reference;
            std::string name;
        };
        std::vector<Change> changes;
        std::vector<Unresolved> unresolved;
        // The environment variables that references resolved, each with its value's place.
        std::vector<std::pair<ValueRef, std::string>> fromEnvironment;
        std::vector<ValueRef> unclosed;
    };
    struct LibEnvVariable {
        std::string name;
        bool isSet = false;
        std::string value;
        bool listsAppDir = false;
    };
    struct Runtime {
        std::string dir;
        bool configured = false;
        std::vector<std::pair<std::string, bool>> libs; // tried, and whether they exist
    };
    struct Launch {
        std::string libPath;
        std::vector<std::string> args;
        // Where each argument's value comes from; none for the launcher's own texts.
        std::vector<std::optional<ValueRef>> origins;
        std::vector<std::string> envNames;
        std::vector<std::string> envValues;
    };

    // How the launch is started: the environment the launcher gets and its working directory.
    struct Start {
        // A double-click (launchd's environment, working directory "/"), else a start typed in
        // the check's own shell (its environment and working directory).
        bool doubleClick = true;
        // The environment the launcher starts with, "NAME=VALUE" each.
        std::vector<std::string> env;
        std::string workDir;
        // The check's own working directory, where the developer stands.
        std::string shellDir;
        // The check's own environment (the shell's), to tell what a double-click lacks.
        std::map<std::string, std::string> shell;
    };

    // What the runtime said when it was started with the launch's arguments for a dry run.
    struct Trial {
        // Why there is no verdict ("" when the runtime gave one).
        std::string missing;
        // True when what watched the trial was ended or stopped: no verdict, and no judgement.
        bool keeperLost = false;
        // The exit status; 128 + the signal's number when a signal ended it.
        int status = 0;
        // What the runtime printed, in order, without its listing of the properties.
        std::vector<std::string> said;
        // The runtime's system properties as it listed them; a path list as its entries.
        std::map<std::string, std::vector<std::string>> properties;
        // The properties whose value was too long to be kept whole.
        std::set<std::string> partial;
    };

    std::string launcherPath;
    Start start;
    std::optional<Bundle> bundle;
    std::optional<CfgChoice> cfg;
    std::optional<Expansion> expansion;
    // The configuration as expanded, before given arguments replace the configured ones.
    std::optional<CfgFile> expanded;
    bool argsReplaced = false;
    std::optional<LibEnvVariable> libEnv;
    std::optional<Runtime> runtime;
    std::optional<Launch> launch;
    // Whether the launch library opens and has its entry point, or why not.
    std::optional<std::string> handOff;
    bool handOffOk = false;
    std::optional<Trial> trial;
    // Which installed runtime stood in for the bundle's in the trial, and what it set aside;
    // "" when the bundle's own judged.
    std::string standIn;
    // The Java home of that stand-in ("": none).
    std::string standInHome;
    // For each line the trial said, the configuration lines found by further trial starts to
    // cause it; an empty list where they could not single them out.
    std::map<std::string, std::vector<size_t>> causes;
};

#endif // LAUNCHRECORD_H
