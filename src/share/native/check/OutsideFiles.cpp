// The files a launch reads from outside the bundle and outside the user's own folders (home,
// temporary folder): another Mac lacks them.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <vector>

#include "FileUtils.h"
#include "Judging.h"
#include "tstrings.h"

namespace {

using LaunchReads::isWithin;
using LaunchReads::realPath;

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

// What the finding calls the read, by what names it.
std::string whatOf(const LaunchReads::Read& r) {
    if (r.kind == "splash") {
        return "splash screen ";
    }
    if (!r.option.empty()) {
        return "file ";
    }
    return r.kind == "class-path"    ? "class path entry "
           : r.kind == "module-path" ? "module path entry "
           : r.kind == "main-jar"    ? "main jar "
                                     : "";
}

// The size of an open regular file; -1 for anything else.
off_t regularSize(std::FILE* file) {
    struct stat st;
    return file && ::fstat(::fileno(file), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
}

// True when a and b are regular files with the same bytes; files of other sizes are not read.
bool sameBytes(const std::string& a, const std::string& b) {
    std::FILE* const fa = FileUtils::openRegularFile(a);
    std::FILE* const fb = FileUtils::openRegularFile(b);
    bool same = regularSize(fa) >= 0 && regularSize(fa) == regularSize(fb);
    std::vector<char> bytesA(1 << 16), bytesB(1 << 16);
    for (size_t n = bytesA.size(); same && n == bytesA.size();) {
        n = std::fread(bytesA.data(), 1, bytesA.size(), fa);
        same = n == std::fread(bytesB.data(), 1, bytesB.size(), fb) && !std::ferror(fa) &&
               !std::ferror(fb) && std::memcmp(bytesA.data(), bytesB.data(), n) == 0;
    }
    for (std::FILE* file : {fa, fb}) {
        if (file) {
            std::fclose(file);
        }
    }
    return same;
}

bool isClassPath(const LaunchReads::Read& r) {
    return r.kind == "class-path" || r.kind == "manifest-class-path";
}

} // namespace

void judgeOutside(Findings& f, std::vector<LaunchReads::Read>& reads) {
    const std::string bundle = realPath(f.rec.bundle->rootDir);
    // The jars said with their directory, and what their manifests name.
    std::set<std::string> quiet;
    for (LaunchReads::Read& r : reads) {
        if (!r.manifest.empty() && quiet.count(r.manifest)) {
            quiet.insert(r.path);
            continue;
        }
        const bool wildcard = tstrings::endsWith(r.given, "/*");
        const std::string file = wildcard ? FileUtils::dirname(r.path) : r.path;
        const std::string real = realPath(file);
        // A relative path, the library path and the runtime's home have findings of their own.
        if (real.empty() || r.given[0] != '/' || r.kind == "library-path" ||
            RuntimeOptions::read(r.option).is(RuntimeOptions::Value::RuntimeHome) ||
            isOwn(real, bundle)) {
            continue;
        }
        if (wildcard) {
            quiet.insert(r.path);
        }
        // A jar of the bundle with the same bytes on the class path holds all it holds: where the
        // jar is missing the runtime passes over it and finds the same classes in the copy.
        if (!wildcard && isClassPath(r) &&
            std::any_of(reads.begin(), reads.end(), [&](const LaunchReads::Read& copy) {
                return copy.inside && isClassPath(copy) && sameBytes(copy.path, r.path);
            })) {
            continue;
        }
        const std::string named = quotedText(file);
        if (std::none_of(f.found.begin(), f.found.end(), [&](const Diagnostic& d) {
                return d.line == r.line && d.text.find(named) != std::string::npos;
            })) {
            f.warn(r.line, whatOf(r) + named +
                               (r.manifest.empty() ? ""
                                                   : ", which the manifest Class-Path of " +
                                                         quotedText(r.manifest) + " names,") +
                               " is read from outside the bundle: a Mac without this file fails "
                               "or behaves differently; copy it into the bundle");
        }
        r.finding = r.line ? r.line : 1;
    }
}
