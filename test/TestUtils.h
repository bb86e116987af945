#ifndef TESTUTILS_H
#define TESTUTILS_H

#include <iostream>
#include <sstream>
#include <string>

// A fresh directory below $TMPDIR (or /tmp), its path free of links, removed with everything
// in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return dir; }
    // path() joined with name.
    std::string operator/(const std::string& name) const { return dir + "/" + name; }

private:
    std::string dir;
};

// Sets (or, with unset(), removes) an environment variable and restores it at destruction.
class EnvGuard {
public:
    EnvGuard(const std::string& name, const std::string& value);
    explicit EnvGuard(const std::string& name); // unsets the variable
    ~EnvGuard();
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    std::string name;
    bool wasSet;
    std::string oldValue;
};

// Redirects a standard stream into a string while it lives.
class CaptureStream {
public:
    explicit CaptureStream(std::ostream& s) : stream(s), old(s.rdbuf(buf.rdbuf())) {}
    ~CaptureStream() { stream.rdbuf(old); }
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    std::string str() const { return buf.str(); }

private:
    std::ostream& stream;
    std::ostringstream buf;
    std::streambuf* old;
};

// Writes content to path byte for byte, creating parent directories; fails the test on error.
void writeFile(const std::string& path, const std::string& content);

// text with every occurrence of from replaced by to.
std::string replaceAll(std::string text, const std::string& from, const std::string& to);

// The whole content of a file, or "" when it cannot be read.
std::string readFile(const std::string& path);

// Creates the directory and its parents.
void makeDirs(const std::string& path);

// Binds a new Unix socket to dir/name, from inside dir so that any dir fits the socket address
// (104 bytes on macOS); returns the socket, or -1 with the reason in reason.
int bindSocketIn(const std::string& dir, const std::string& name, std::string& reason);

#endif // TESTUTILS_H
