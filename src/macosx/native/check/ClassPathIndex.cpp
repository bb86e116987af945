#include "ClassPathIndex.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "JarManifest.h"
#include "ZipFile.h"

// What one jar or directory holds, by file name ("a/b/C.class").
class ClassPathIndex::Source {
public:
    virtual ~Source() = default;
    virtual bool holds(const std::string& file) const = 0;
    // A file it holds whose name differs from file only in letter case, "" when none.
    virtual std::string sameButCase(const std::string& file) const = 0;
    // False once a lookup met something it could not read.
    virtual bool certain() const { return true; }
};

namespace {

// Class-Path chains deeper than this, or more jars than that, are not followed: the runtime
// would, but no real application gets there, and a generated loop of names must end.
constexpr size_t kMaxDepth = 64;
constexpr size_t kMaxJars = 4096;
// Directory listings one search for another letter case may read.
constexpr size_t kMaxListings = 256;

const char kVersionsDir[] = "META-INF/versions/";

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool containsIgnoringCase(const std::string& text, const std::string& lowerWord) {
    const auto same = [](char a, char b) { return lower(a) == b; };
    return std::search(text.begin(), text.end(), lowerWord.begin(), lowerWord.end(), same) !=
           text.end();
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i != a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isAsciiLetterOrDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string join(const std::string& dir, const std::string& name) {
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string dirName(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string realPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) {
        return path;
    }
    const std::string result = real;
    std::free(real);
    return result;
}

// "a.b.C" as the file that holds it, "a/b/C.class".
std::string classFile(const std::string& className) {
    std::string file = className;
    std::replace(file.begin(), file.end(), '.', '/');
    return file + ".class";
}

// The other way round.
std::string classNameOf(const std::string& file) {
    std::string name = file.substr(0, file.size() - (sizeof ".class" - 1));
    std::replace(name.begin(), name.end(), '/', '.');
    return name;
}

// The names in dir without "." and ".."; 0, or the error that kept it from being listed.
int listDir(const std::string& dir, std::vector<std::string>& names) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        return errno;
    }
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            names.push_back(e->d_name);
        }
    }
    ::closedir(d);
    return 0;
}

bool isMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

// The classes of a jar. A multi-release jar's versioned classes count as well: which of them
// the runtime sees depends on its version, and none should be reported missing.
class JarSource : public ClassPathIndex::Source {
public:
    JarSource(const ZipFile& jar, bool multiRelease) {
        const std::string versions = kVersionsDir;
        for (const std::string& name : jar.names()) {
            if (!endsWith(name, ".class")) {
                continue;
            }
            classes.insert(name);
            if (multiRelease && name.compare(0, versions.size(), versions) == 0) {
                const size_t slash = name.find('/', versions.size());
                if (slash != std::string::npos && slash > versions.size()) {
                    classes.insert(name.substr(slash + 1));
                }
            }
        }
    }

    bool holds(const std::string& file) const override { return classes.count(file) != 0; }

    std::string sameButCase(const std::string& file) const override {
        std::string best;
        for (const std::string& name : classes) {
            if (name != file && equalsIgnoringCase(name, file) && (best.empty() || name < best)) {
                best = name;
            }
        }
        return best;
    }

    // True when a class of the package "a.b" is in the jar.
    bool hasPackage(const std::string& package) const {
        std::string dir = package;
        std::replace(dir.begin(), dir.end(), '.', '/');
        for (const std::string& name : classes) {
            if (name.size() > dir.size() + 1 && name.compare(0, dir.size(), dir) == 0 &&
                name[dir.size()] == '/' && name.find('/', dir.size() + 1) == std::string::npos) {
                return true;
            }
        }
        return false;
    }

private:
    std::unordered_set<std::string> classes;
};

// The classes below a directory, looked up as files.
class DirSource : public ClassPathIndex::Source {
public:
    explicit DirSource(std::string dir) : dir(std::move(dir)) {}

    bool holds(const std::string& file) const override {
        struct stat st;
        if (::stat(join(dir, file).c_str(), &st) != 0) {
            uncertain = uncertain || !isMissing(errno);
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            return false;
        }
        // Where the file system ignores letter case, as macOS's does by default, the lookup
        // also finds a/b/main.class for a/b/Main.class, which the runtime then refuses for its
        // wrong name: each part must be listed as written.
        std::string at = dir;
        for (size_t start = 0; start < file.size();) {
            const size_t slash = std::min(file.find('/', start), file.size());
            const std::string part = file.substr(start, slash - start);
            std::vector<std::string> names;
            if (listDir(at, names) != 0) {
                return true; // found, if not as listed
            }
            if (std::find(names.begin(), names.end(), part) == names.end()) {
                return false;
            }
            at = join(at, part);
            start = slash + 1;
        }
        return true;
    }

    std::string sameButCase(const std::string& file) const override {
        std::vector<std::string> parts;
        for (size_t start = 0; start <= file.size();) {
            const size_t slash = std::min(file.find('/', start), file.size());
            parts.push_back(file.substr(start, slash - start));
            start = slash + 1;
        }
        std::string found;
        size_t listings = 0;
        search(dir, parts, 0, std::string(), file, found, listings);
        return found;
    }

    bool certain() const override { return !uncertain; }

private:
    // Looks for parts[k..] below at in any letter case; found gets the first hit other than file.
    bool search(const std::string& at, const std::vector<std::string>& parts, size_t k,
                const std::string& prefix, const std::string& file, std::string& found,
                size_t& listings) const {
        std::vector<std::string> names;
        if (listings++ == kMaxListings || listDir(at, names) != 0) {
            return false;
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (!equalsIgnoringCase(name, parts[k])) {
                continue;
            }
            const std::string path = prefix.empty() ? name : prefix + "/" + name;
            const std::string full = join(at, name);
            struct stat st;
            if (k + 1 == parts.size()) {
                if (path != file && ::stat(full.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
                    found = path;
                    return true;
                }
            } else if (search(full, parts, k + 1, path, file, found, listings)) {
                return true;
            }
        }
        return false;
    }

    const std::string dir;
    mutable bool uncertain = false;
};

// A Class-Path URL as the file it names, resolved against the directory of the jar; false
// when it names no local file (another scheme, another host, a bad %-escape).
bool resolveClassPathUrl(const std::string& url, const std::string& baseDir, std::string& path) {
    std::string rest = url;
    size_t colon = url.find(':');
    const bool hasScheme =
        colon != std::string::npos && colon > 0 &&
        std::all_of(
            url.begin(), url.begin() + static_cast<std::ptrdiff_t>(colon),
            [](char c) { return isAsciiLetterOrDigit(c) || c == '+' || c == '-' || c == '.'; }) &&
        !isDigit(url[0]);
    if (hasScheme) {
        std::string scheme = url.substr(0, colon);
        std::transform(scheme.begin(), scheme.end(), scheme.begin(), lower);
        if (scheme != "file") {
            return false;
        }
        rest = url.substr(colon + 1);
        if (rest.compare(0, 2, "//") == 0) {
            const size_t slash = std::min(rest.find('/', 2), rest.size());
            std::string host = rest.substr(2, slash - 2);
            std::transform(host.begin(), host.end(), host.begin(), lower);
            if (!host.empty() && host != "localhost") {
                return false;
            }
            rest = rest.substr(slash);
        }
    }
    // A query or fragment is no part of the file's name.
    rest = rest.substr(0, rest.find_first_of("?#"));
    const std::string merged = !rest.empty() && rest[0] == '/' ? rest : join(baseDir, rest);

    // Dot segments go as URLs drop them, by name, before the file system sees the path.
    std::vector<std::string> segments;
    for (size_t start = 0; start <= merged.size();) {
        const size_t slash = std::min(merged.find('/', start), merged.size());
        const std::string segment = merged.substr(start, slash - start);
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = slash + 1;
    }
    std::string normal = merged[0] == '/' ? "/" : "";
    for (size_t i = 0; i != segments.size(); ++i) {
        normal += (i == 0 ? "" : "/") + segments[i];
    }
    if (endsWith(merged, "/") || endsWith(merged, "/.") || endsWith(merged, "/..")) {
        normal = join(normal, "");
    }

    // %XX escapes stand for the byte XX.
    path.clear();
    for (size_t i = 0; i < normal.size(); ++i) {
        if (normal[i] != '%') {
            path += normal[i];
            continue;
        }
        int value = 0;
        for (size_t k = 1; k <= 2; ++k) {
            const char c = i + k < normal.size() ? normal[i + k] : '\0';
            const int digit = isDigit(c)                             ? c - '0'
                              : (lower(c) >= 'a' && lower(c) <= 'f') ? lower(c) - 'a' + 10
                                                                     : -1;
            if (digit < 0) {
                return false;
            }
            value = value * 16 + digit;
        }
        path += static_cast<char>(value);
        i += 2;
    }
    return true;
}

} // namespace

ClassPathIndex::ClassPathIndex() = default;
ClassPathIndex::~ClassPathIndex() = default;

void ClassPathIndex::addClassPathEntry(const std::string& entry) {
    try {
        if (entry != "*" && !endsWith(entry, "/*")) {
            addClassPathLocation(entry.empty() ? "." : entry, Expect::Any, 0);
            return;
        }
        // The runtime expands "dir/*" to the jar files in dir, in the order the directory
        // lists them, hidden ones included; nothing else is a wildcard.
        const std::string dir = entry == "*"    ? "."
                                : entry == "/*" ? "/"
                                                : entry.substr(0, entry.size() - 2);
        std::vector<std::string> names;
        const int error = listDir(dir, names);
        if (error != 0) {
            classPathCertain = classPathCertain && isMissing(error);
            return;
        }
        for (const std::string& name : names) {
            if (endsWith(name, ".jar") || endsWith(name, ".JAR")) {
                addClassPathLocation(join(dir, name), Expect::Any, 0);
            }
        }
    } catch (const std::exception&) {
        classPathCertain = false;
    }
}

void ClassPathIndex::addClassPathLocation(const std::string& path, Expect expect, size_t depth) {
    // What is missing the runtime skips; what cannot be looked at leaves the answers open.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        classPathCertain = classPathCertain && isMissing(errno);
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        // The runtime takes a Class-Path URL without a trailing "/" for a jar, and skips it.
        if (expect == Expect::Jar) {
            return;
        }
        if (::access(path.c_str(), R_OK | X_OK) != 0) {
            classPathCertain = false;
            return;
        }
        classPath.push_back(Located{path, std::make_shared<DirSource>(path), false});
        return;
    }
    // A file named with a trailing "/" in Class-Path is taken for a directory, and skipped.
    if (expect != Expect::Directory) {
        addJar(path, depth);
    }
}

void ClassPathIndex::addJar(const std::string& path, size_t depth) {
    if (jarsOpened.size() == kMaxJars) {
        classPathCertain = false;
        return;
    }
    const std::string real = realPath(path);
    if (!jarsOpened.insert(real).second) {
        return; // read already: the runtime found its classes there first
    }
    std::vector<std::string> urls;
    {
        ZipFile zip;
        if (!zip.open(path)) {
            classPathCertain = false;
            return;
        }
        JarManifest manifest;
        switch (manifest.readFrom(zip)) {
        case JarManifest::Status::Invalid: {
            // The runtime reads the whole manifest when it looks for a Class-Path, and then
            // skips the jar; otherwise only when it loads a class from it, which then fails
            // while the jar still hides the classes of the same name after it.
            std::string text;
            zip.read(JarManifest::kEntryName, text, JarManifest::kMaxSize);
            const bool skipped = containsIgnoringCase(text, "class-path: ");
            if (!skipped) {
                classPath.push_back(
                    Located{path, std::make_shared<JarSource>(zip, manifest.multiRelease()), true});
            }
            return;
        }
        case JarManifest::Status::Unreadable:
            classPathCertain = false;
            return;
        default:
            break;
        }
        classPath.push_back(
            Located{path, std::make_shared<JarSource>(zip, manifest.multiRelease()), false});
        urls = manifest.classPath();
    }
    // A jar on the runtime's own class path is resolved to its real location before its
    // Class-Path is read; a jar named by a Class-Path is taken where the URL points.
    const std::string baseDir = dirName(depth == 0 ? real : path);
    for (const std::string& url : urls) {
        // A chain too long to follow, or a URL that names no local file, leaves it open.
        std::string target;
        if (depth + 1 == kMaxDepth || !resolveClassPathUrl(url, baseDir, target)) {
            classPathCertain = false;
            continue;
        }
        addClassPathLocation(endsWith(target, "/") && target.size() > 1
                                 ? target.substr(0, target.size() - 1)
                                 : target,
                             endsWith(target, "/") ? Expect::Directory : Expect::Jar, depth + 1);
    }
}

std::string ClassPathIndex::whereIs(const std::string& className) const {
    try {
        const std::string file = classFile(className);
        for (size_t i = 0; i != classPath.size(); ++i) {
            if (!classPath[i].source->holds(file)) {
                continue;
            }
            if (!classPath[i].refused) {
                return classPath[i].path;
            }
            // Whether the runtime skipped the refused jar after all rests on how it scans the
            // manifest: with the class found later too, the answer is not certain.
            for (size_t later = i + 1; later != classPath.size(); ++later) {
                if (classPath[later].source->holds(file)) {
                    lookupFailed = true;
                }
            }
            return std::string();
        }
    } catch (const std::exception&) {
        lookupFailed = true;
    }
    return std::string();
}

std::string ClassPathIndex::sameButCase(const std::string& className) const {
    try {
        const std::string file = classFile(className);
        for (const Located& location : classPath) {
            const std::string other = location.source->sameButCase(file);
            if (!other.empty()) {
                return classNameOf(other);
            }
        }
    } catch (const std::exception&) {
    }
    return std::string();
}

bool ClassPathIndex::certain() const {
    if (!classPathCertain || lookupFailed) {
        return false;
    }
    return std::all_of(classPath.begin(), classPath.end(),
                       [](const Located& l) { return l.source->certain(); });
}
