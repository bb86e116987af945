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

    ClassPathIndex();
    ~ClassPathIndex();
    ClassPathIndex(const ClassPathIndex&) = delete;
    ClassPathIndex& operator=(const ClassPathIndex&) = delete;

    // Adds a class path entry: a jar or zip file, a directory of classes, or "dir/*" (the
    // files named *.jar or *.JAR directly in dir; the runtime's own wildcard, the only one);
    // "" is the working directory. Each jar brings the entries of its manifest's Class-Path
    // after it, relative to the jar's directory, as the runtime does.
    void addClassPathEntry(const std::string& entry);

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

    void addClassPathLocation(const std::string& path, Expect expect, size_t depth);
    void addJar(const std::string& path, size_t depth);

    std::vector<Located> classPath;
    std::set<std::string> jarsOpened; // their real paths: each jar is read once
    bool classPathCertain = true;
    mutable bool lookupFailed = false;
};

#endif // CLASSPATHINDEX_H
