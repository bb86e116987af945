// What the launch takes from across the bundle's border or from what another user may change:
// the configuration, the package file, the runtime and its launch library.

#include <sys/stat.h>
#include <unistd.h>

#include "FileUtils.h"
#include "Judging.h"

using LaunchReads::realPath;

std::string changeableByOthers(const std::string& path) {
    // The file and every directory above it as the system resolves them: whoever may replace
    // any of them decides what the launch reads.
    for (std::string p = realPath(path); !p.empty(); p = FileUtils::dirname(p)) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0) {
            break;
        }
        // A sticky directory lets others add entries, not replace those of this user.
        const bool sticky = S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
        if (st.st_uid != ::geteuid() && st.st_uid != 0) {
            return quotedText(p) + " belongs to another user (uid " + std::to_string(st.st_uid) +
                   ")";
        }
        if ((st.st_mode & S_IWOTH) && !sticky) {
            return quotedText(p) + " is writable by every user";
        }
    }
    return std::string();
}

std::string outOfBundle(const std::string& path, const std::string& rootDir) {
    const std::string real = realPath(path);
    return real.empty() || LaunchReads::isWithin(real, realPath(rootDir)) ? std::string() : real;
}

void judgeBorders(Findings& f) {
    const LaunchRecord& rec = f.rec;
    const size_t runtimeLine = f.lastLineOf(PropertyName::runtime);
    // Warns, and says so, where others can change what path is.
    const auto changeable = [&](const std::string& what, const std::string& path, size_t line) {
        const std::string why = path.empty() ? std::string() : changeableByOthers(path);
        if (!why.empty()) {
            f.warn(line, what + " " + quotedText(path) + " can be changed by another user: " + why +
                             "; what they write there runs when the bundle starts");
        }
        return !why.empty();
    };
    if (rec.bundle && rec.bundle->packageFileExists) {
        changeable("the package file", rec.bundle->packageFile, 1);
    }
    if (rec.cfg) {
        changeable("the configuration", rec.cfg->path, 1);
    }
    // The library of a runtime that others can change goes without saying.
    const bool runtimeChangeable =
        rec.runtime && changeable("the runtime", rec.runtime->dir, runtimeLine);
    if (!runtimeChangeable && rec.launch && !rec.launch->libPath.empty()) {
        changeable("the launch library", rec.launch->libPath, runtimeLine);
    }
    // The bundle's own runtime is to travel with it. A note: make-bundle's development layouts
    // (-L, -j) link the library out on purpose.
    if (rec.bundle && rec.runtime && !rec.runtime->configured && rec.launch) {
        for (const std::string& path : {rec.runtime->dir, rec.launch->libPath}) {
            const std::string real = outOfBundle(path, rec.bundle->rootDir);
            if (!real.empty()) {
                f.note("the bundle's own runtime leads out of the bundle: " + quotedText(path) +
                       " is " + quotedText(real) + ", which a Mac without that file lacks");
                break;
            }
        }
    }
}
