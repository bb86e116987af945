#include "BundleCheck.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <ostream>
#include <sys/stat.h>

#include "AppLauncher.h"
#include "Dll.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "LibraryArch.h"
#include "Log.h"
#include "MacBundle.h"
#include "StringProcessing.h"
#include "SysInfo.h"
#include "tstrings.h"

namespace {

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The value of CFBundleExecutable in an XML property list, or "".
std::string bundleExecutable(const std::string& plistPath) {
    const std::string plist = [&plistPath] {
        std::string text;
        std::FILE* f = isRegularFile(plistPath) ? std::fopen(plistPath.c_str(), "rb") : nullptr;
        if (f) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
                text.append(buf, n);
            }
            std::fclose(f);
        }
        return text;
    }();
    const size_t key = plist.find("<key>CFBundleExecutable</key>");
    if (key == std::string::npos) {
        return std::string();
    }
    const size_t open = plist.find("<string>", key);
    const size_t close = open == std::string::npos ? open : plist.find("</string>", open);
    if (close == std::string::npos) {
        return std::string();
    }
    // XML writes five characters as entities.
    static const char* const entities[][2] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    std::string name;
    for (size_t i = open + 8; i < close;) {
        bool replaced = false;
        for (const auto& entity : entities) {
            if (plist.compare(i, std::strlen(entity[0]), entity[0]) == 0) {
                name += entity[1];
                i += std::strlen(entity[0]);
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            name += plist[i++];
        }
    }
    return name;
}

// The only regular file in dir, or "" when there are none or several.
std::string onlyFileIn(const std::string& dir) {
    std::string found;
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        return found;
    }
    int count = 0;
    while (const dirent* e = ::readdir(d)) {
        const std::string path = FileUtils::combinePath(dir, e->d_name);
        if (e->d_name[0] != '.' && isRegularFile(path)) {
            found = path;
            ++count;
        }
    }
    ::closedir(d);
    return count == 1 ? found : std::string();
}

// The environment cannot hold a name with "=" or NUL, so such a reference is never looked up.
bool canBeEnvVariableName(const std::string& name) {
    return !name.empty() && name.find_first_of(std::string("=\0", 2)) == std::string::npos;
}

// Keeps the default logger quiet while the check does work of its own, so that the debug trace
// shows the launcher's steps once.
class QuietLogger {
public:
    QuietLogger() : previous(Logger::defaultLogger().getAppender()) {
        Logger::defaultLogger().setAppender(nop);
    }
    ~QuietLogger() { Logger::defaultLogger().setAppender(previous); }
    QuietLogger(const QuietLogger&) = delete;
    QuietLogger& operator=(const QuietLogger&) = delete;

private:
    LogAppender& previous;
    NopLogAppender nop;
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    return tstrings::join(items.begin(), items.end(), separator);
}

} // namespace

BundleCheck::BundleCheck(const std::string& launcherPath, const std::vector<std::string>& args)
    : launcherPath(launcherPath), cmdArgs(args) {}

std::string BundleCheck::findLauncher(const std::string& bundleOrLauncher) {
    struct stat st;
    if (bundleOrLauncher.empty() || ::stat(bundleOrLauncher.c_str(), &st) != 0) {
        throw makeException(tstrings::any()
                                << "no bundle or launcher at " << quotedText(bundleOrLauncher),
                            SOURCE_CODE_POS);
    }
    const std::string path = FileUtils::toAbsolutePath(bundleOrLauncher);
    if (!S_ISDIR(st.st_mode)) {
        return SysInfo::resolveExecutablePath(path);
    }
    // The system starts the file that Info.plist names, else the one named after the bundle.
    const std::string root = FileUtils::removeTrailingSlash(path);
    const std::string macosDir = FileUtils::combinePath(root, "Contents/MacOS");
    std::string name = bundleExecutable(FileUtils::combinePath(root, "Contents/Info.plist"));
    if (name.empty()) {
        name = FileUtils::basename(root);
        if (tstrings::endsWith(name, ".app")) {
            name.resize(name.size() - 4);
        }
    }
    std::string launcher = FileUtils::combinePath(macosDir, name);
    if (!isRegularFile(launcher)) {
        launcher = onlyFileIn(macosDir);
    }
    if (launcher.empty()) {
        throw makeException(tstrings::any()
                                << "no launcher in " << quotedText(root) << ": expected "
                                << quotedText(FileUtils::combinePath(macosDir, name)),
                            SOURCE_CODE_POS);
    }
    return SysInfo::resolveExecutablePath(launcher);
}

void BundleCheck::run() {
    MacBundle bundle(launcherPath);
    rootDir = bundle.rootDir();
    appDir = bundle.appDir();
    hasPackageFile = FileUtils::isFileExists(FileUtils::combinePath(appDir, ".package"));
    packageName = bundle.packageName();
    // The launcher reads HOME only for a package with a name; a missing HOME is not fatal.
    if (!packageName.empty()) {
        homeSet = SysInfo::isEnvVariableSet("HOME");
        homeDir = SysInfo::getEnvVariable(std::nothrow, "HOME", std::string());
        bundle.setHomeDir(homeDir);
    }
    userCfgFileDir = bundle.userCfgFileDir();

    AppLauncher appLauncher(launcherPath, cmdArgs);
    bundle.configure(appLauncher);
    const std::string cfgFileName =
        FileUtils::stripExeSuffix(FileUtils::basename(launcherPath)) + ".cfg";
    bundleCfgFilePath = FileUtils::combinePath(appDir, cfgFileName);

    {
        const QuietLogger quiet;
        cfgFilePath = appLauncher.getCfgFilePath();
        CfgDiagnostics lines;
        CfgFile raw;
        try {
            raw = CfgFile::load(cfgFilePath, &lines);
        } catch (...) {
            found = lines.diagnostics();
            throw;
        }
        found = lines.diagnostics();
        const CfgFile::Macros macros = appLauncher.getMacros();
        const CfgFile expanded = raw.expandMacros(macros);
        checkValues(raw, expanded, macros, lines);
        checkRuntime(expanded, lines);
    }

    // From here on exactly what the launcher does, with its trace when debugging is on.
    const std::unique_ptr<Jvm> jvm(appLauncher.createJvmLauncher());
    libPath = jvm->getPath();
    args = jvm->getArgs();
    envNames = jvm->getEnvVarNames();
    envValues = jvm->getEnvVarValues();
    envVariableSet = SysInfo::isEnvVariableSet(MacBundle::libEnvVariableName);
    envVariableValue =
        SysInfo::getEnvVariable(std::nothrow, MacBundle::libEnvVariableName, std::string());

    const LibraryArch arch = LibraryArch::ofFile(libPath);
    const std::string own = LibraryArch::ownArch();
    libArch = arch.format.empty() ? "unknown format" : arch.format + " " + joined(arch.archs, ", ");
    if (arch.lacks(own)) {
        add(runtimeLine ? runtimeLine : 1,
            arch.format == "universal"
                ? "launch library " + quotedText(libPath) + " is a universal file for " +
                      joined(arch.archs, ", ") + " without " + own +
                      ", the launcher's architecture: it cannot be loaded"
                : "launch library " + quotedText(libPath) + " is built for " + arch.archs[0] +
                      ", but the launcher is " + own + ": it cannot be loaded");
    }

    // The record the runtime would receive, then the library and its entry point.
    const std::unique_ptr<JvmlLauncherData, FreeDeleter> record(
        jvmLauncherCreateJvmlLauncherData(&api, jvm->exportLauncher(), nullptr));
    if (!record) {
        libStatus = "not tried: the launch record could not be built";
        throw makeException("Failed to launch JVM", SOURCE_CODE_POS);
    }
    try {
        const Dll lib(libPath);
        const DllFunction<void*> jliLaunch(lib, "JLI_Launch");
        libStatus = "opens, has JLI_Launch";
    } catch (const VorlaneErrorBase& e) {
        libStatus = e.rawMessage();
        throw;
    }
}

void BundleCheck::checkValues(const CfgFile& raw, const CfgFile& expanded,
                              const CfgFile::Macros& macros, const CfgDiagnostics& lines) {
    // Every value in the order the launcher expands them: what changed, and references that
    // stay as written.
    for (const CfgFile::SectionId* section : SectionName::all) {
        const CfgFile::PropertyMap& rawProperties = raw.getProperties(*section);
        const CfgFile::PropertyMap& expandedProperties = expanded.getProperties(*section);
        for (const CfgFile::PropertyMap::value_type& property : rawProperties) {
            const CfgFile::PropertyMap::const_iterator expandedProperty =
                expandedProperties.find(property.first);
            for (size_t i = 0; i != property.second.size(); ++i) {
                const std::string& from = property.second[i];
                const size_t line = lines.lineOf(*section, property.first, i);
                const std::string where =
                    std::string("[") + section->name() + "] " + property.first.name();
                if (expandedProperty != expandedProperties.end() &&
                    i < expandedProperty->second.size() && expandedProperty->second[i] != from) {
                    changes.push_back(Change{where, line, from, expandedProperty->second[i]});
                }
                if (from.find_first_of("$\\") == std::string::npos) {
                    continue;
                }
                for (const StringProcessing::Token& token : StringProcessing::tokenize(from)) {
                    if (token.type == StringProcessing::VARIABLE) {
                        const std::string name = StringProcessing::getVariableName(token.value);
                        if (macros.find(name) == macros.end() &&
                            !(canBeEnvVariableName(name) && SysInfo::isEnvVariableSet(name))) {
                            add(line, quotedText(token.value) + " in " + property.first.name() +
                                          " stays as written: there is no macro or "
                                          "environment variable " +
                                          quotedText(name));
                        }
                    } else if (token.type == StringProcessing::STRING &&
                               token.value.find("${") != std::string::npos) {
                        add(line, "\"${\" without \"}\" in " + std::string(property.first.name()) +
                                      ": the rest of the value is not expanded");
                    }
                }
            }
        }
    }

    // The files the runtime is pointed at.
    const CfgFile::PropertyMap& app = expanded.getProperties(SectionName::Application);
    const auto checkPath = [this](const std::string& what, const std::string& path, size_t line) {
        if (path.empty()) {
            return;
        }
        if (!FileUtils::isDirSeparator(path[0])) {
            add(line, what + " " + quotedText(path) +
                          " is relative: it is resolved against the working directory at "
                          "launch, not the bundle; start it with $APPDIR/");
            return;
        }
        // A class path entry "dir/*" stands for the jars in dir.
        const std::string file =
            tstrings::endsWith(path, "/*") ? path.substr(0, path.size() - 2) : path;
        if (!FileUtils::isFileExists(file)) {
            add(line, what + " " + quotedText(path) + " does not exist");
        }
    };
    const auto checkPathLists = [&](const CfgFile::PropertyId& property, const std::string& what) {
        const CfgFile::PropertyMap::const_iterator it = app.find(property);
        if (it == app.end()) {
            return;
        }
        for (size_t i = 0; i != it->second.size(); ++i) {
            std::vector<std::string> entries;
            tstrings::split(entries, it->second[i], std::string(1, FileUtils::pathSeparator));
            for (const std::string& entry : entries) {
                checkPath(what, entry, lines.lineOf(SectionName::Application, property, i));
            }
        }
    };
    const auto checkLastPath = [&](const CfgFile::PropertyId& property, const std::string& what) {
        const CfgFile::PropertyMap::const_iterator it = app.find(property);
        if (it != app.end() && !it->second.empty()) {
            checkPath(what, it->second.back(),
                      lines.lineOf(SectionName::Application, property, it->second.size() - 1));
        }
    };
    checkPathLists(PropertyName::classpath, "class path entry");
    checkPathLists(PropertyName::modulepath, "module path entry");
    checkLastPath(PropertyName::mainjar, "main jar");
    checkLastPath(PropertyName::splash, "splash screen");

    if (app.find(PropertyName::mainclass) == app.end() &&
        app.find(PropertyName::mainjar) == app.end() &&
        app.find(PropertyName::mainmodule) == app.end()) {
        const size_t header = lines.headerLineOf(SectionName::Application);
        std::string first;
        const CfgFile::PropertyMap& argOptions = expanded.getProperties(SectionName::ArgOptions);
        const CfgFile::PropertyMap::const_iterator configured =
            argOptions.find(PropertyName::arguments);
        if (!cmdArgs.empty()) {
            first = cmdArgs.front();
        } else if (configured != argOptions.end() && !configured->second.empty()) {
            first = configured->second.front();
        }
        add(header ? header : 1,
            "no app.mainclass, app.mainjar or app.mainmodule in [Application]: the runtime "
            "takes the first argument as the main class" +
                (first.empty() ? std::string() : " (here " + quotedText(first) + ")"));
    }
}

void BundleCheck::checkRuntime(const CfgFile& expanded, const CfgDiagnostics& lines) {
    const CfgFile::PropertyMap& app = expanded.getProperties(SectionName::Application);
    const CfgFile::PropertyMap::const_iterator runtime = app.find(PropertyName::runtime);
    runtimeConfigured = runtime != app.end();
    if (runtimeConfigured) {
        runtimeDir = CfgFile::asString(*runtime);
        runtimeLine = lines.lineOf(SectionName::Application, PropertyName::runtime,
                                   runtime->second.size() - 1);
    } else {
        runtimeDir = FileUtils::combinePath(rootDir, "Contents/runtime");
    }

    bool haveLib = false;
    for (const char* name : MacBundle::jvmLibNames) {
        triedLibs.push_back(FileUtils::combinePath(runtimeDir, name));
        haveLib = haveLib || FileUtils::isFileExists(triedLibs.back());
    }
    if (!runtimeConfigured) {
        return;
    }
    if (!runtimeDir.empty() && !FileUtils::isDirSeparator(runtimeDir[0])) {
        add(runtimeLine, "app.runtime " + quotedText(runtimeDir) +
                             " is relative: it is resolved against the working directory at "
                             "launch, not the bundle; start it with $APPDIR/ or $ROOTDIR/");
    }
    if (haveLib) {
        return;
    }
    // A Java home has its library right below lib/; a bundled runtime has Contents/Home first.
    const char* const homeLibs[] = {"lib/libjli.dylib", "lib/jli/libjli.dylib", "lib/libjli.so"};
    bool javaHome = false;
    for (const char* lib : homeLibs) {
        javaHome = javaHome || FileUtils::isFileExists(FileUtils::combinePath(runtimeDir, lib));
    }
    if (!javaHome) {
        add(runtimeLine, "app.runtime " + quotedText(runtimeDir) +
                             " holds no launch library: " + "neither " + quotedText(triedLibs[0]) +
                             " nor " + quotedText(triedLibs[1]) + " exists");
        return;
    }
    std::string text = "app.runtime " + quotedText(runtimeDir) +
                       " is a Java home, not the directory that holds Contents/Home: the "
                       "launcher looks for " +
                       quotedText(triedLibs[0]);
    const std::string dir = FileUtils::removeTrailingSlash(runtimeDir);
    if (tstrings::endsWith(dir, "/Contents/Home")) {
        text += "; write app.runtime=" + dir.substr(0, dir.size() - 14);
    }
    add(runtimeLine, text);
}

void BundleCheck::printReport(std::ostream& out) const {
    out << "launcher:          " << launcherPath << "\n";
    if (rootDir.empty()) {
        return;
    }
    out << "bundle:            " << rootDir << "\n";
    if (!hasPackageFile) {
        out << "package:           none (no " << FileUtils::combinePath(appDir, ".package")
            << ": no per-user configuration is looked for)\n";
    } else if (packageName.empty()) {
        out << "package:           none (" << FileUtils::combinePath(appDir, ".package")
            << " has an empty first line: no per-user configuration is looked for)\n";
    } else {
        out << "package:           " << quotedText(packageName) << " (from "
            << FileUtils::combinePath(appDir, ".package") << ")\n";
        if (!homeSet) {
            out << "HOME:              not set: no per-user configuration is looked for\n";
        } else {
            out << "HOME:              " << quotedText(homeDir) << "\n";
        }
    }
    if (cfgFilePath.empty()) {
        return;
    }
    out << "configuration:     " << cfgFilePath << "\n";
    if (cfgFilePath != bundleCfgFilePath) {
        out << "                   the per-user file: it replaces " << bundleCfgFilePath << "\n";
    } else if (!userCfgFileDir.empty()) {
        out << "                   the bundle's own: there is no "
            << FileUtils::combinePath(userCfgFileDir, FileUtils::basename(cfgFilePath)) << "\n";
    } else {
        out << "                   the bundle's own\n";
    }

    if (!changes.empty()) {
        out << "expanded values:\n";
        for (const Change& c : changes) {
            out << "  line " << c.line << ", " << c.where << ":\n"
                << "    " << visibleText(c.from) << "\n"
                << "    -> " << visibleText(c.to) << "\n";
        }
    }

    if (runtimeDir.empty()) {
        return;
    }
    out << "runtime:           " << visibleText(runtimeDir)
        << (runtimeConfigured ? " (app.runtime)" : " (the bundle's own: no app.runtime)") << "\n";
    if (libPath.empty()) {
        out << "launch library:    none: neither " << visibleText(triedLibs[0]) << " nor "
            << visibleText(triedLibs[1]) << " exists\n";
        return;
    }
    out << "launch library:    " << visibleText(libPath) << " (" << libArch << ")\n";
    if (!libStatus.empty()) {
        out << "library check:     " << visibleText(libStatus) << "\n";
    }
    const std::string variable = MacBundle::libEnvVariableName;
    if (envNames.empty()) {
        out << variable << ": " << quotedText(envVariableValue)
            << " (already lists the application directory: left as it is)\n";
    }
    for (size_t i = 0; i != envNames.size(); ++i) {
        out << envNames[i] << ": " << quotedText(envValues[i])
            << (envVariableSet ? " (set by the launcher: the application directory appended)\n"
                               : " (set by the launcher: unset here, so \":\" and the "
                                 "application directory)\n");
    }
    out << "java command line (" << args.size() << " arguments):\n";
    for (const std::string& arg : args) {
        out << "  " << visibleText(arg.c_str()) << "\n";
    }
}

void BundleCheck::printDiagnostics(std::ostream& out) const {
    std::vector<Diagnostic> sorted = found;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
    for (const Diagnostic& d : sorted) {
        out << cfgFilePath << ":" << d.line << ": warning: " << d.text << "\n";
    }
}
