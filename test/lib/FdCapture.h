#ifndef FDCAPTURE_H
#define FDCAPTURE_H

#include <cstdio>
#include <stdexcept>
#include <string>
#include <unistd.h>

// Redirects a file descriptor into a temporary file while it lives, so that output written by
// C stdio (which stream-buffer swapping cannot see) is caught too.
class FdCapture {
public:
    explicit FdCapture(int fd = STDERR_FILENO) : fd(fd), file(std::tmpfile()), saved(-1) {
        if (!file) {
            throw std::runtime_error("tmpfile() failed");
        }
        flushAll();
        saved = ::dup(fd);
        if (saved < 0 || ::dup2(::fileno(file), fd) < 0) {
            std::fclose(file);
            throw std::runtime_error("dup2() failed");
        }
    }

    ~FdCapture() {
        restore();
        std::fclose(file);
    }

    FdCapture(const FdCapture&) = delete;
    FdCapture& operator=(const FdCapture&) = delete;

    // Stops capturing (once) and returns everything written meanwhile.
    std::string str() {
        restore();
        std::string out;
        std::rewind(file);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof(buf), file)) > 0) {
            out.append(buf, n);
        }
        return out;
    }

private:
    static void flushAll() {
        std::fflush(stdout);
        std::fflush(stderr);
    }

    void restore() {
        if (saved >= 0) {
            flushAll();
            ::dup2(saved, fd);
            ::close(saved);
            saved = -1;
        }
    }

    const int fd;
    std::FILE* file;
    int saved;
};

#endif // FDCAPTURE_H
