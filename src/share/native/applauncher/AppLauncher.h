#ifndef APPLAUNCHER_H
#define APPLAUNCHER_H

#include <map>
#include <string>
#include <vector>

class CfgFile;
class Jvm;

// Turns where things are (application directory, runtime directories, library names) into a
// ready launch description.
class AppLauncher {
public:
    // For the running executable and its command-line arguments.
    AppLauncher();
    // For the executable at launcherPath (absolute, resolved) started with args, which are taken
    // as given.
    AppLauncher(const std::string& launcherPath, const std::vector<std::string>& args);

    AppLauncher& setDefaultRuntimeDir(const std::string& v) {
        defaultRuntimeDir = v;
        return *this;
    }
    AppLauncher& setAppDir(const std::string& v) {
        appDir = v;
        return *this;
    }
    AppLauncher& setLibEnvVariableName(const std::string& v) {
        libEnvVariableName = v;
        return *this;
    }
    AppLauncher& setRootDir(const std::string& v) {
        rootDir = v;
        return *this;
    }
    AppLauncher& addJvmLibName(const std::string& v) {
        jvmLibNames.push_back(v);
        return *this;
    }
    AppLauncher& addCfgFileDir(const std::string& v) {
        cfgFileDirs.push_back(v);
        return *this;
    }

    // A new launch description that the caller owns; throws on failure.
    Jvm* createJvmLauncher() const;

    // A new loaded and expanded configuration that the caller owns.
    CfgFile* createCfgFile() const;

    // The macros that configuration values may use: APPDIR, BINDIR and ROOTDIR.
    std::map<std::string, std::string> getMacros() const;

    // The first user directory that holds the configuration file, else the application one.
    std::string getCfgFilePath() const;

    // True when the library search-path variable lists appDir exactly.
    bool libEnvVariableContainsAppDir() const;

private:
    std::vector<std::string> args;
    std::string launcherPath;
    std::string defaultRuntimeDir;
    std::string appDir;
    std::string libEnvVariableName;
    std::string rootDir;
    std::vector<std::string> jvmLibNames;
    std::vector<std::string> cfgFileDirs;
    // True for the running executable, whose path the launch description asks the system for
    // itself; false for one named by the caller.
    bool forRunningProcess = false;
};

#endif // APPLAUNCHER_H
