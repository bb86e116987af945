#include "StandIn.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "CfgDiagnostics.h"
#include "Experiments.h"
#include "FileUtils.h"
#include "tstrings.h"

namespace {

#ifdef __APPLE__
const char* const kLibrary = "lib/libjli.dylib";
const bool kOnMac = true;
#else
const char* const kLibrary = "lib/libjli.so";
const bool kOnMac = false;
#endif

// The value of KEY="VALUE" in the runtime's release file; "" when it does not say.
std::string released(const std::string& home, const std::string& key) {
    // A few lines of a regular file: a bundle's may be anything, a FIFO or an endless device.
    std::string text(64 << 10, '\0');
    std::FILE* file = FileUtils::openRegularFile(FileUtils::combinePath(home, "release"));
    text.resize(file ? std::fread(&text[0], 1, text.size(), file) : 0);
    if (file) {
        std::fclose(file);
    }
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (tstrings::startsWith(line, key + "=\"") && line.size() > key.size() + 2) {
            return line.substr(key.size() + 2, line.rfind('"') - key.size() - 2);
        }
    }
    return std::string();
}

// The feature version of a runtime: 17 for "17.0.15", 8 for "1.8.0_402"; 0 when unknown.
int featureOf(const std::string& home) {
    const std::string version = released(home, "JAVA_VERSION");
    return std::atoi(version.c_str() + (tstrings::startsWith(version, "1.") ? 2 : 0));
}

bool holdsLibrary(const std::string& home) {
    return !home.empty() && FileUtils::isFileExists(FileUtils::combinePath(home, kLibrary));
}

// The options that only a Mac's runtime accepts, where the stand-in is no Mac's.
bool isMacOnly(const std::string& arg) {
    return !kOnMac && (tstrings::startsWith(arg, "-Xdock:") || arg == "-XstartOnFirstThread");
}

} // namespace

std::string StandIn::find(const std::string& given) {
    if (!given.empty()) {
        return holdsLibrary(given) ? given : std::string();
    }
    const char* const javaHome = std::getenv("JAVA_HOME");
    if (javaHome && holdsLibrary(javaHome)) {
        return javaHome;
    }
    const char* const path = std::getenv("PATH");
    std::vector<std::string> dirs;
    tstrings::split(dirs, path ? path : "", ":");
    for (const std::string& dir : dirs) {
        char* real =
            ::realpath(FileUtils::combinePath(dir.empty() ? "." : dir, "java").c_str(), nullptr);
        const std::string home = real ? FileUtils::dirname(FileUtils::dirname(real)) : "";
        std::free(real);
        if (holdsLibrary(home)) {
            return home;
        }
    }
#ifdef __APPLE__
    // macOS's /usr/bin/java is a stub outside every runtime; the system names the one it uses.
    if (FILE* p = ::popen("/usr/libexec/java_home 2>/dev/null", "r")) {
        char buffer[4096] = {};
        const std::string home = std::fgets(buffer, sizeof buffer, p) ? buffer : "";
        ::pclose(p);
        if (!home.empty() && holdsLibrary(home.substr(0, home.size() - 1))) {
            return home.substr(0, home.size() - 1);
        }
    }
#endif
    return std::string();
}

std::string StandIn::whyNot(const std::string& runtimeHome, const std::string& home) {
    const int feature = featureOf(runtimeHome);
    if (home.empty()) {
        return "no installed runtime stands in for it (name one with --trial-runtime JAVA_HOME)";
    }
    if (feature == 0 || featureOf(home) != feature) {
        return "the installed runtime " + home + " (" + released(home, "JAVA_VERSION") +
               ") cannot stand in for it: it is not of the bundle runtime's version (" +
               (feature ? released(runtimeHome, "JAVA_VERSION") : "unknown: no release file") + ")";
    }
    return std::string();
}

LaunchRecord::Launch StandIn::adapt(const LaunchRecord::Launch& launch,
                                    const std::string& runtimeHome, const std::string& home) {
    LaunchRecord::Launch out = Experiments::filtered(
        launch, [&](size_t i, const auto&) { return i == 0 || !isMacOnly(launch.args[i]); });
    out.libPath = FileUtils::combinePath(home, kLibrary);
    std::string modules = released(runtimeHome, "MODULES");
    std::replace(modules.begin(), modules.end(), ' ', ',');
    if (!modules.empty() && !out.args.empty()) {
        out = Experiments::with(out, {"--limit-modules", modules}, false);
    }
    return out;
}

std::string StandIn::note(const LaunchRecord::Launch& launch, const std::string& runtimeHome,
                          const std::string& home,
                          const std::function<size_t(const ValueRef&)>& lineOf) {
    std::string text = "the bundle's own runtime cannot run on this machine: the runtime's "
                       "verdict is that of a stand-in, " +
                       home + " (" + released(home, "JAVA_VERSION") + ")";
    if (!released(runtimeHome, "MODULES").empty()) {
        text += ", limited to the bundle runtime's modules";
    }
    std::vector<std::string> setAside;
    for (size_t i = 1; i < launch.args.size(); ++i) {
        if (isMacOnly(launch.args[i])) {
            const bool known = i < launch.origins.size() && launch.origins[i];
            setAside.push_back(quotedText(launch.args[i]) +
                               (known ? " (line " + std::to_string(lineOf(*launch.origins[i])) + ")"
                                      : std::string()));
        }
    }
    if (!setAside.empty()) {
        text += "; set aside, as only a Mac accepts them: " + tstrings::join(setAside, ", ");
    }
    return text;
}
