#ifndef CLASSPATHINDEX_H
#define CLASSPATHINDEX_H

#include <memory>
#include <set>
#include <string>
#include <vector>

// Where the Java runtime finds classes, given the class path entries that it receives (after the
// launcher's expansion). Reads jar files' central directories and manifests and looks files up in
// directories; unpacks nothing else. Nothing here throws; what cannot be read makes the answers
// uncertain instead.
class ClassPathIndex {
public:
    // What one jar or directory holds; defined with the index.
    class Source;

    // What became of one location on the class path.
    struct Entry {
        enum Kind {
            Jar,        // a jar or zip file, read
            Directory,  // a directory of classes
            Missing,    // nothing there: the runtime skips it
            Ignored,    // there, but the runtime does not use it (reason says why)
            Unreadable, // could not be read: what it holds is unknown (reason says why)
        };
        std::string path; // as the runtime opens it
        Kind kind;
        std::string from;   // the jar whose Class-Path or the "dir/*" that brought it in; ""
                            // for an entry added directly
        std::string reason; // for Ignored and Unreadable
    };

    ClassPathIndex();
    ~ClassPathIndex();
    ClassPathIndex(const ClassPathIndex&) = delete;
    ClassPathIndex& operator=(const ClassPathIndex&) = delete;

    // Adds a class path entry: a jar or zip file, a directory of classes, or "dir/*" (the
    // files named *.jar or *.JAR directly in dir; the runtime's own wildcard, the only one);
    // "" is the working directory. Each jar brings the entries of its manifest's Class-Path
    // after it, relative to the jar's directory, as the runtime does.
    void addClassPathEntry(const std::string& entry);
    // Every location looked at, in the runtime's search order.
    const std::vector<Entry>& classPathEntries() const { return classPathSeen; }

    // True when the class path holds the class "a.b.C" (as a/b/C.class; a directory entry is
    // looked up as a file, in the exact letter case).
    bool holds(const std::string& className) const { return !whereIs(className).empty(); }
    // The jar or directory that the runtime loads the class from, "" when none.
    std::string whereIs(const std::string& className) const;
    // A class the class path holds whose name differs from className only in letter case,
    // "" when none. Directories are compared against their listings, one level at a time.
    std::string sameButCase(const std::string& className) const;
    // False when a location could not be read (a damaged jar, a directory that cannot be
    // searched): then a class reported missing may be there after all.
    bool certain() const;

private:
    struct Located {
        std::string path;
        std::shared_ptr<const Source> source;
        // A jar whose manifest the runtime refuses: a class found there fails to load.
        bool refused;
    };
    // What a class path location is taken for: as the file system says (the runtime's own
    // class path), or as a Class-Path URL says (a directory when it ends with "/").
    enum class Expect { Any, Jar, Directory };

    void addClassPathLocation(const std::string& path, const std::string& from, Expect expect,
                              size_t depth);
    void addJar(const std::string& path, const std::string& from, size_t depth);
    void seeClassPath(const std::string& path, Entry::Kind kind, const std::string& from,
                      const std::string& reason = std::string());

    std::vector<Entry> classPathSeen;
    std::vector<Located> classPath;
    std::set<std::string> jarsOpened; // their real paths: each jar is read once
    bool classPathCertain = true;
    mutable bool lookupFailed = false;
};

#endif // CLASSPATHINDEX_H
