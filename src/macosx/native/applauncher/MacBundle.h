#ifndef MACBUNDLE_H
#define MACBUNDLE_H

#include <string>

class AppLauncher;

// The bundle around a launcher at Root/Contents/MacOS/<name>: the one place that knows its layout.
class MacBundle {
public:
    // The bundle of the launcher at launcherPath (absolute, resolved); throws as PackageFile does.
    explicit MacBundle(const std::string& launcherPath);

    // True when the user's configuration is looked for, below HOME: the package has a name.
    bool needsHomeDir() const { return !thePackageName.empty(); }
    // Looks for the user's configuration below homeDir (unless empty) when the package has a name.
    void setHomeDir(const std::string& homeDir);

    // Gives launcher the bundle's directories, library names and library search-path variable.
    AppLauncher& configure(AppLauncher& launcher) const;

    const std::string& rootDir() const { return theRootDir; }
    const std::string& appDir() const { return theAppDir; }
    std::string defaultRuntimeDir() const;
    const std::string& packageName() const { return thePackageName; }
    std::string packageFilePath() const;

    // The bundle's directories below its root.
    static constexpr const char* executableDirPath = "Contents/MacOS";
    static constexpr const char* appDirPath = "Contents/app";
    static constexpr const char* runtimeDirPath = "Contents/runtime";
    // The launch library's paths below a runtime directory, in the order they are tried.
    static constexpr const char* jvmLibNames[2] = {"Contents/Home/lib/libjli.dylib",
                                                   "Contents/Home/lib/jli/libjli.dylib"};
    // The variable that lists the directories the runtime's libraries are looked for in.
    static constexpr const char* libEnvVariableName = "DYLD_LIBRARY_PATH";

private:
    std::string theRootDir;
    std::string theAppDir;
    std::string thePackageName;
    std::string theUserCfgFileDir;
};

#endif // MACBUNDLE_H
