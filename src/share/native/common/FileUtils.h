#ifndef FILEUTILS_H
#define FILEUTILS_H

#include <cstdio>
#include <string>

// Path operations on byte strings; the text ones never touch the file system nor normalise "..".
namespace FileUtils {

// Separates the entries of a path list (class path, library search path).
constexpr char pathSeparator = ':';

inline bool isDirSeparator(char c) {
    return c == '/' || c == '\\';
}

// The directory part of path: "" for an entry directly under the root or without separator.
std::string dirname(const std::string& path);

// Everything after the last separator (possibly empty), or the whole path without one.
std::string basename(const std::string& path);

// parent and child joined by one slash; an empty side yields the other.
std::string combinePath(const std::string& parent, const std::string& child);

// path without the separators at its end.
std::string removeTrailingSlash(const std::string& path);

// True when stat() on path succeeds, whatever the kind of object.
bool isFileExists(const std::string& path);

// path opened for reading, or nullptr: errno 0 when not a regular file nor a directory.
std::FILE* openRegularFile(const std::string& path);

// The lines of openRegularFile(path) without line feeds; C I/O tells read errors, no locale.
class LineReader {
public:
    enum Status { LINE, END, ERROR };

    explicit LineReader(const std::string& path);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Why the file could not be opened (the system's text, or "not a regular file"); "" when open.
    const std::string& openError() const { return theOpenError; }

    // The next line into line, END after the last one, ERROR when reading fails.
    Status next(std::string& line);

private:
    std::FILE* file;
    std::string theOpenError;
    char buffer[16 * 1024];
    size_t pos = 0;
    size_t end = 0;
};

// path joined to the working directory unless it starts with a separator; throws.
std::string toAbsolutePath(const std::string& path);

// path without the platform's executable suffix (there is none here).
std::string stripExeSuffix(const std::string& path);

} // namespace FileUtils

#endif // FILEUTILS_H
