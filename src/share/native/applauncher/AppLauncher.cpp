#include "AppLauncher.h"

#include <algorithm>
#include <memory>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "SysInfo.h"
#include "tstrings.h"

namespace {

// The first of jvmLibNames below the configured runtime directory, else below defaultRuntimeDir.
std::string findJvmLib(const CfgFile& cfgFile, const std::string& defaultRuntimeDir,
                       const std::vector<std::string>& jvmLibNames,
                       AppLauncher::Observer* observer) {
    const CfgFile::PropertyMap& appOptions = cfgFile.getProperties(SectionName::Application);
    const CfgFile::PropertyMap::const_iterator runtime = appOptions.find(PropertyName::runtime);
    const bool configured = runtime != appOptions.end();
    const std::string runtimeDir = configured ? CfgFile::asString(*runtime) : defaultRuntimeDir;
    if (!configured) {
        LOG_TRACE("Property \"" << PropertyName::runtime.name() << "\" not found in \""
                                << SectionName::Application.name()
                                << "\" section of launcher config file."
                                << " Using Java runtime from \"" << runtimeDir << "\" directory");
    }
    if (observer) {
        observer->onRuntimeDir(runtimeDir, configured);
    }

    for (const std::string& libName : jvmLibNames) {
        const std::string jvmLibPath = FileUtils::combinePath(runtimeDir, libName);
        const bool exists = FileUtils::isFileExists(jvmLibPath);
        if (observer) {
            observer->onJvmLibCandidate(jvmLibPath, exists);
        }
        if (exists) {
            return jvmLibPath;
        }
    }

    throw makeException(tstrings::any()
                            << "Failed to find JVM in \"" << runtimeDir << "\" directory.",
                        SOURCE_CODE_POS);
}

} // namespace

AppLauncher::AppLauncher(const std::string& launcherPath, const std::vector<std::string>& args)
    : args(args), launcherPath(launcherPath) {}

bool AppLauncher::libEnvVariableContainsAppDir() const {
    const std::string value =
        SysInfo::getEnvVariable(std::nothrow, libEnvVariableName, std::string());
    std::vector<std::string> dirs;
    tstrings::split(dirs, value, std::string(1, FileUtils::pathSeparator));
    return std::find(dirs.begin(), dirs.end(), appDir) != dirs.end();
}

Jvm* AppLauncher::createJvmLauncher() const {
    const std::unique_ptr<CfgFile> cfgFile(createCfgFile());
    if (observer) {
        observer->onCfgFileExpanded(*cfgFile);
    }

    if (!args.empty()) {
        // Arguments from the command line are used as given, never expanded.
        cfgFile->setPropertyValue(SectionName::ArgOptions, PropertyName::arguments, args);
        if (observer) {
            observer->onArgsReplaced(args);
        }
    }

    std::unique_ptr<Jvm> jvm(new Jvm());

    const bool listsAppDir = libEnvVariableContainsAppDir();
    const std::string libDirs =
        SysInfo::getEnvVariable(std::nothrow, libEnvVariableName, std::string());
    if (observer) {
        observer->onLibEnvVariable(libEnvVariableName,
                                   SysInfo::isEnvVariableSet(libEnvVariableName), libDirs,
                                   listsAppDir);
    }
    if (!listsAppDir) {
        jvm->addEnvVariable(libEnvVariableName, libDirs + FileUtils::pathSeparator + appDir);
    }

    jvm->setPath(findJvmLib(*cfgFile, defaultRuntimeDir, jvmLibNames, observer));
    jvm->addArgument(launcherPath);
    jvm->initFromConfigFile(*cfgFile, launcherPath, observer);

    return jvm.release();
}

CfgFile* AppLauncher::createCfgFile() const {
    const std::string cfgFilePath = getCfgFilePath();

    LOG_TRACE("Launcher config file path: \"" << cfgFilePath << "\"");

    const CfgFile::Macros macros = getMacros();
    if (observer) {
        observer->onMacros(macros);
    }
    return new CfgFile(CfgFile::load(cfgFilePath, observer).expandMacros(macros, observer));
}

CfgFile::Macros AppLauncher::getMacros() const {
    return {{"APPDIR", appDir}, {"BINDIR", FileUtils::dirname(launcherPath)}, {"ROOTDIR", rootDir}};
}

std::string AppLauncher::getCfgFilePath() const {
    const std::string cfgFileName =
        FileUtils::stripExeSuffix(FileUtils::basename(launcherPath)) + ".cfg";
    const std::string bundleCfgFile = FileUtils::combinePath(appDir, cfgFileName);
    std::string path = bundleCfgFile;
    for (const std::string& dir : cfgFileDirs) {
        const std::string cfgFilePath = FileUtils::combinePath(dir, cfgFileName);
        LOG_TRACE("Check [" << cfgFilePath << "] file exit");
        const bool exists = FileUtils::isFileExists(cfgFilePath);
        if (observer) {
            observer->onCfgFileCandidate(cfgFilePath, exists);
        }
        if (exists) {
            path = cfgFilePath;
            break;
        }
    }
    if (observer) {
        observer->onCfgFile(path, bundleCfgFile);
    }
    return path;
}
