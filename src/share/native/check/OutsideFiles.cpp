// The files a launch reads from outside the bundle and outside the user's own folders (home,
// temporary folder): class path and module path entries, the jars that their manifests'
// Class-Path names in turn, and the files that options name. Another Mac lacks them.

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sys/stat.h>
#include <vector>

#include "FileUtils.h"
#include "JarManifest.h"
#include "Judging.h"
#include "LaunchReads.h"
#include "tstrings.h"

namespace {

using LaunchReads::normalized;
using LaunchReads::realPath;

bool isWithin(const std::string& path, const std::string& dir) {
    return !dir.empty() && (path == dir || tstrings::startsWith(path, dir + "/"));
}

// True for what every Mac has or every user has a folder of: the bundle, the system's own
// folders, the home and temporary folders.
bool isOwn(const std::string& real, const std::string& bundle) {
    if (real == "/" || isWithin(real, bundle)) {
        return true;
    }
    const char* const home = std::getenv("HOME");
    const char* const tmp = std::getenv("TMPDIR");
    for (const char* dir : {home ? home : "", tmp ? tmp : "/tmp", "/System", "/bin", "/sbin",
                            "/usr/bin", "/usr/sbin", "/usr/libexec", "/dev"}) {
        const std::string realDir = *dir ? realPath(dir) : "";
        if (isWithin(real, FileUtils::removeTrailingSlash(realDir))) {
            return true;
        }
    }
    return false;
}

class Outside {
public:
    Outside(Findings& f, size_t line) : f(f), line(line), bundle(realPath(f.rec.bundle->rootDir)) {}

    // Warns when path lies outside; a jar brings what its manifest names.
    void judge(const std::string& what, const std::string& path, bool jar) {
        const bool wildcard = tstrings::endsWith(path, "/*");
        const std::string file = wildcard ? path.substr(0, path.size() - 2) : path;
        if (!warn(what + " ", file) && wildcard) {
            // A wildcard's jars are said with their directory.
            return;
        }
        if (!wildcard && jar) {
            follow(file);
        }
        for (const std::string& name :
             wildcard&& jar ? namesIn(file, isJarName) : std::vector<std::string>()) {
            follow(FileUtils::combinePath(file, name));
        }
    }

private:
    // Warns once a line when file exists outside the bundle and the user's own folders; false
    // when it warned or had warned.
    bool warn(const std::string& what, const std::string& file, const std::string& after = "") {
        const std::string real = realPath(file);
        if (real.empty() || isOwn(real, bundle)) {
            return true;
        }
        const std::string named = quotedText(normalized(file));
        for (const Diagnostic& d : f.found) {
            if (d.line == line && d.text.find(named) != std::string::npos) {
                return false;
            }
        }
        f.warn(line, what + named + after +
                         " is read from outside the bundle: a Mac without this file fails or "
                         "behaves differently; copy it into the bundle");
        return false;
    }

    // The jars and directories that the manifest Class-Path of jar names, and theirs in turn,
    // relative to the jar's directory; the runtime passes over those that are not there.
    void follow(const std::string& jar) {
        if (!seen.insert(realPath(jar)).second) {
            return;
        }
        for (const std::string& path : JarManifest::classPathFiles(jar)) {
            if (!realPath(path).empty()) {
                warn("", path,
                     ", which the manifest Class-Path of " + quotedText(normalized(jar)) +
                         " names,");
                follow(path);
            }
        }
    }

    Findings& f;
    const size_t line;
    const std::string bundle;
    std::set<std::string> seen;
};

} // namespace

void judgeOutside(Findings& f, const std::string& what, const std::string& path, size_t line,
                  bool jar) {
    Outside(f, line).judge(what, path, jar);
}
