#ifndef APPLAUNCHER_H
#define APPLAUNCHER_H

#include <map>
#include <string>
#include <vector>

#include "CfgFile.h"
#include "JvmLauncher.h"

// Turns where things are (directories, library names) into a ready launch description.
class AppLauncher {
public:
    // Told each decision of createJvmLauncher in order, and the parse, expansion and arguments.
    class Observer : public CfgFile::LineObserver,
                     public CfgFile::ExpansionObserver,
                     public Jvm::ArgumentObserver {
    public:
        // A user directory's configuration file, looked for, and whether it exists.
        virtual void onCfgFileCandidate(const std::string& path, bool exists) = 0;
        // The configuration file that is loaded, and the application directory's own.
        virtual void onCfgFile(const std::string& path, const std::string& bundleCfgFile) = 0;
        // The macros of the expansion.
        virtual void onMacros(const CfgFile::Macros& macros) = 0;
        // The configuration as expanded, before the launcher's arguments replace configured ones.
        virtual void onCfgFileExpanded(const CfgFile& cfgFile) = 0;
        // The arguments given to the launcher replace the configured ones.
        virtual void onArgsReplaced(const std::vector<std::string>& args) = 0;
        // The library search-path variable as found, and whether it lists the application one.
        virtual void onLibEnvVariable(const std::string& name, bool isSet, const std::string& value,
                                      bool listsAppDir) = 0;
        // The runtime directory: app.runtime's value when configured, else the default one.
        virtual void onRuntimeDir(const std::string& dir, bool configured) = 0;
        // A launch library looked for below it, and whether it exists.
        virtual void onJvmLibCandidate(const std::string& path, bool exists) = 0;

    protected:
        ~Observer() = default;
    };

    // A property of the configuration that the launch reads, and the section it reads it in.
    struct ReadProperty {
        const CfgFile::SectionId* section;
        const CfgFile::PropertyId* property;
    };
    // Every property the launch reads: the runtime here, the rest in Jvm::initFromConfigFile.
    static constexpr ReadProperty readProperties[] = {
        {&SectionName::Application, &PropertyName::runtime},
        {&SectionName::Application, &PropertyName::modulepath},
        {&SectionName::Application, &PropertyName::classpath},
        {&SectionName::Application, &PropertyName::splash},
        {&SectionName::JavaOptions, &PropertyName::javaOptions},
        {&SectionName::Application, &PropertyName::mainmodule},
        {&SectionName::Application, &PropertyName::mainclass},
        {&SectionName::Application, &PropertyName::mainjar},
        {&SectionName::ArgOptions, &PropertyName::arguments},
    };

    // For the executable at launcherPath (absolute, resolved) started with args, taken as given.
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
    AppLauncher& setObserver(Observer* v) {
        observer = v;
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
    Observer* observer = nullptr;
};

#endif // APPLAUNCHER_H
