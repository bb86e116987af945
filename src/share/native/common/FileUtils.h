#ifndef FILEUTILS_H
#define FILEUTILS_H

#include <cstdio>
#include <string>

// Path operations on byte strings. All but isFileExists and toAbsolutePath are pure text
// manipulations: they never touch the file system nor normalise "." or "..".
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

// The file at path opened for reading, as fopen(path, "r") does, without waiting on a FIFO's
// writer or reading a device that never ends: nullptr with errno set, errno 0 where path is
// neither a regular file nor a directory.
std::FILE* openRegularFile(const std::string& path);

// path joined to the working directory unless it starts with a separator; throws when the
// working directory cannot be read.
std::string toAbsolutePath(const std::string& path);

// path without the platform's executable suffix (there is none here).
std::string stripExeSuffix(const std::string& path);

} // namespace FileUtils

#endif // FILEUTILS_H
