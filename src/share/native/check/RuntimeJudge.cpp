// The runtime directory and its launch library: where the launcher looks, and whether the
// library can be loaded into the launcher at all.

#include <algorithm>

#include "FileUtils.h"
#include "Judging.h"
#include "LibraryArch.h"
#include "MacBundle.h"
#include "tstrings.h"

namespace {

// True when dir is a Java home: its launch library lies where a bundled runtime has it below
// Contents/Home.
bool isJavaHome(const std::string& dir) {
    const std::string home = "Contents/Home/";
    for (const char* lib : MacBundle::jvmLibNames) {
        std::string inHome = std::string(lib).substr(home.size());
        if (FileUtils::isFileExists(FileUtils::combinePath(dir, inHome))) {
            return true;
        }
#ifndef __APPLE__
        // The host build's runtimes have their library under the host's own name.
        inHome.replace(inHome.rfind(".dylib"), 6, ".so");
        if (FileUtils::isFileExists(FileUtils::combinePath(dir, inHome))) {
            return true;
        }
#endif
    }
    return false;
}

void judgeRuntimeDir(Findings& f) {
    const LaunchRecord::Runtime& r = *f.rec.runtime;
    if (!r.configured) {
        return;
    }
    const size_t line = f.lastLineOf(PropertyName::runtime);
    if (!r.dir.empty() && !FileUtils::isDirSeparator(r.dir[0])) {
        f.warn(line, "app.runtime " + quotedText(r.dir) +
                         relativePathText(f, r.dir, "start it with $APPDIR/ or $ROOTDIR/"));
    }
    if (std::any_of(r.libs.begin(), r.libs.end(),
                    [](const std::pair<std::string, bool>& l) { return l.second; })) {
        return;
    }
    std::vector<std::string> tried;
    for (const std::pair<std::string, bool>& l : r.libs) {
        tried.push_back(quotedText(l.first));
    }
    if (!isJavaHome(r.dir)) {
        f.warn(line, "app.runtime " + quotedText(r.dir) + " holds no launch library: neither " +
                         tstrings::join(tried, " nor ") + " exists");
        return;
    }
    std::string text = "app.runtime " + quotedText(r.dir) +
                       " is a Java home, not the directory that holds Contents/Home: the "
                       "launcher looks for " +
                       (tried.empty() ? std::string() : tried[0]);
    const std::string dir = FileUtils::removeTrailingSlash(r.dir);
    if (tstrings::endsWith(dir, "/Contents/Home")) {
        text += "; write app.runtime=" + dir.substr(0, dir.size() - 14);
    }
    f.warn(line, text);
}

std::string formatOf(const LibraryArch& file) {
    return file.format == "ELF" ? "an ELF" : "a Mach-O";
}

// The launcher loads the library into its own process: one format, one architecture. Where it
// certainly cannot, the launch fails.
void judgeLibrary(Findings& f) {
    const std::string& libPath = f.rec.launch->libPath;
    const LibraryArch lib = LibraryArch::ofFile(libPath);
    LibraryArch launcher = LibraryArch::ofFile(f.rec.launcherPath);
    if (launcher.format.empty()) {
        launcher.archs = LibraryArch::own().archs;
    }
    const size_t line = f.lastLineOf(PropertyName::runtime);
    const std::string named = "launch library " + quotedText(libPath) + " is ";
    if (std::none_of(launcher.archs.begin(), launcher.archs.end(),
                     [&](const std::string& arch) { return lib.lacks(arch); })) {
        if (!lib.format.empty() && !launcher.format.empty() &&
            (lib.format == "ELF") != (launcher.format == "ELF")) {
            // Both of one architecture, for different systems.
            f.fail(line, named + formatOf(lib) + " file, but the launcher " +
                             quotedText(f.rec.launcherPath) + " is " + formatOf(launcher) +
                             " file: it cannot be loaded");
        }
        return;
    }

    const std::string archs = tstrings::join(launcher.archs, ", ");
    if (std::any_of(launcher.archs.begin(), launcher.archs.end(),
                    [&](const std::string& arch) { return !lib.lacks(arch); })) {
        f.warn(line, named + "built for " + tstrings::join(lib.archs, ", ") +
                         " only, but the launcher runs as " + archs +
                         ": where it runs as another, the library cannot be loaded");
        return;
    }
    f.fail(line, lib.format == "universal"
                     ? named + "a universal file for " + tstrings::join(lib.archs, ", ") +
                           " without " + archs +
                           ", the launcher's architecture: it cannot be loaded"
                     : named + formatOf(lib) + " file for " + lib.archs[0] +
                           ", but the launcher is " + archs + ": it cannot be loaded");
}

} // namespace

void judgeRuntime(Findings& f) {
    if (f.rec.runtime) {
        judgeRuntimeDir(f);
    }
    if (f.rec.launch) {
        judgeLibrary(f);
    }
}
