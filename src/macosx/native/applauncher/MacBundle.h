#ifndef MACBUNDLE_H
#define MACBUNDLE_H

#include <string>

class AppLauncher;

// The bundle around a launcher at Root/Contents/MacOS/<name>: its directories, its package and
// where the user's own configuration may lie. The one place that knows the bundle layout.
class MacBundle {
public:
    // The bundle of the launcher at launcherPath (absolute, resolved); reads the package file,
    // so throws when it exists but cannot be opened.
    explicit MacBundle(std::string launcherPath);

    // True when the user's configuration is looked for, below HOME: the package has a name.
    bool needsHomeDir() const { return !thePackageName.empty(); }
    // Looks for the user's configuration below homeDir when the package has a name; an empty
    // homeDir leaves it out.
    void setHomeDir(const std::string& homeDir);

    // Gives launcher the bundle's directories, launch library names, library search-path
    // variable and user configuration directory.
    AppLauncher& configure(AppLauncher& launcher) const;

    const std::string& launcherPath() const { return theLauncherPath; }
    const std::string& rootDir() const { return theRootDir; }
    const std::string& appDir() const { return theAppDir; }
    std::string defaultRuntimeDir() const;
    const std::string& packageName() const { return thePackageName; }
    std::string packageFilePath() const;
    // "" when no user directory is searched.
    const std::string& userCfgFileDir() const { return theUserCfgFileDir; }

    // The bundle's directories below its root: the launcher's, the application's and the
    // runtime's default one.
    static const char* const executableDirPath;
    static const char* const appDirPath;
    static const char* const runtimeDirPath;
    // The launch library's paths below a runtime directory, in the order they are tried.
    static const char* const jvmLibNames[2];
    // The variable that lists the directories the runtime's libraries are looked for in.
    static const char* const libEnvVariableName;

private:
    std::string theLauncherPath;
    std::string theRootDir;
    std::string theAppDir;
    std::string thePackageName;
    std::string theUserCfgFileDir;
};

#endif // MACBUNDLE_H
