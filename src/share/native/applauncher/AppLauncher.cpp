#include "AppLauncher.h"

#include <memory>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "SysInfo.h"
#include "tstrings.h"

namespace {

// The path of the runtime's launch library: the first of jvmLibNames that exists below the
// configured runtime directory (or, when none is configured, below defaultRuntimeDir).
std::string findJvmLib(const CfgFile& cfgFile, const std::string& defaultRuntimeDir,
                       const std::vector<std::string>& jvmLibNames) {
    const CfgFile::PropertyMap& appOptions = cfgFile.getProperties(SectionName::Application);
    const CfgFile::PropertyMap::const_iterator runtime = appOptions.find(PropertyName::runtime);
    std::string runtimeDir;
    if (runtime != appOptions.end()) {
        runtimeDir = CfgFile::asString(*runtime);
    } else {
        runtimeDir = defaultRuntimeDir;
        LOG_TRACE("Property \"" << PropertyName::runtime.name() << "\" not found in \""
                                << SectionName::Application.name()
                                << "\" section of launcher config file."
                                << " Using Java runtime from \"" << runtimeDir << "\" directory");
    }

    for (const std::string& libName : jvmLibNames) {
        const std::string jvmLibPath = FileUtils::combinePath(runtimeDir, libName);
        if (FileUtils::isFileExists(jvmLibPath)) {
            return jvmLibPath;
        }
    }

    throw makeException(tstrings::any()
                            << "Failed to find JVM in \"" << runtimeDir << "\" directory.",
                        SOURCE_CODE_POS);
}

} // namespace

AppLauncher::AppLauncher() : forRunningProcess(true) {
    launcherPath = SysInfo::getProcessModulePath();
    args = SysInfo::getCommandArgs(SysInfo::ExcludeProgramName);
}

AppLauncher::AppLauncher(const std::string& launcherPath, const std::vector<std::string>& args)
    : args(args), launcherPath(launcherPath) {}

bool AppLauncher::libEnvVariableContainsAppDir() const {
    const std::string value =
        SysInfo::getEnvVariable(std::nothrow, libEnvVariableName, std::string());
    std::vector<std::string> dirs;
    tstrings::split(dirs, value, std::string(1, FileUtils::pathSeparator));
    for (const std::string& dir : dirs) {
        if (dir == appDir) {
            return true;
        }
    }
    return false;
}

Jvm* AppLauncher::createJvmLauncher() const {
    const std::unique_ptr<CfgFile> cfgFile(createCfgFile());

    if (!args.empty()) {
        // Arguments from the command line are used as given, never expanded.
        cfgFile->setPropertyValue(SectionName::ArgOptions, PropertyName::arguments, args);
    }

    std::unique_ptr<Jvm> jvm(new Jvm());

    if (!libEnvVariableContainsAppDir()) {
        jvm->addEnvVariable(
            libEnvVariableName,
            SysInfo::getEnvVariable(std::nothrow, libEnvVariableName, std::string()) +
                FileUtils::pathSeparator + appDir);
    }

    jvm->setPath(findJvmLib(*cfgFile, defaultRuntimeDir, jvmLibNames));
    jvm->addArgument(launcherPath);
    if (forRunningProcess) {
        jvm->initFromConfigFile(*cfgFile);
    } else {
        jvm->initFromConfigFile(*cfgFile, launcherPath);
    }

    return jvm.release();
}

CfgFile* AppLauncher::createCfgFile() const {
    const std::string cfgFilePath = getCfgFilePath();

    LOG_TRACE("Launcher config file path: \"" << cfgFilePath << "\"");

    return new CfgFile(CfgFile::load(cfgFilePath).expandMacros(getMacros()));
}

CfgFile::Macros AppLauncher::getMacros() const {
    CfgFile::Macros macros;
    macros["APPDIR"] = appDir;
    macros["BINDIR"] = FileUtils::dirname(launcherPath);
    macros["ROOTDIR"] = rootDir;
    return macros;
}

std::string AppLauncher::getCfgFilePath() const {
    const std::string cfgFileName =
        FileUtils::stripExeSuffix(FileUtils::basename(launcherPath)) + ".cfg";

    for (const std::string& dir : cfgFileDirs) {
        const std::string cfgFilePath = FileUtils::combinePath(dir, cfgFileName);
        LOG_TRACE("Check [" << cfgFilePath << "] file exit");
        if (FileUtils::isFileExists(cfgFilePath)) {
            return cfgFilePath;
        }
    }

    return FileUtils::combinePath(appDir, cfgFileName);
}
