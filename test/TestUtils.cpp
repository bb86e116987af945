#include "TestUtils.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int removeEntry(const char* path, const struct stat*, int type, struct FTW*) {
    // Directories made unreadable by a test are made readable again so they can go. Only
    // directories: chmod follows a link, and a test bundle's links lead to installed runtimes.
    if (type == FTW_DP || type == FTW_DNR) {
        ::chmod(path, 0700);
    }
    ::remove(path);
    return 0;
}

} // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/launcher-test-XXXXXX";
    if (!::mkdtemp(&templ[0])) {
        throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
    }
    // Resolved once, so that paths built from it compare equal to what the system reports
    // (getcwd, realpath) where the temporary directory lies behind a link, as on macOS.
    char* real = ::realpath(templ.c_str(), nullptr);
    dir = real ? real : templ;
    std::free(real);
}

TempDir::~TempDir() {
    ::nftw(dir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

EnvGuard::EnvGuard(const std::string& name, const std::string& value) : EnvGuard(name) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

EnvGuard::EnvGuard(const std::string& name) : name(name) {
    const char* v = std::getenv(name.c_str());
    wasSet = v != nullptr;
    if (v) {
        oldValue = v;
    }
    ::unsetenv(name.c_str());
}

EnvGuard::~EnvGuard() {
    if (wasSet) {
        ::setenv(name.c_str(), oldValue.c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

void makeDirs(const std::string& path) {
    for (size_t pos = 1; pos != std::string::npos;) {
        pos = path.find('/', pos + 1);
        ::mkdir(path.substr(0, pos).c_str(), 0755);
    }
}

void writeFile(const std::string& path, const std::string& content) {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        makeDirs(path.substr(0, slash));
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int bindSocketIn(const std::string& dir, const std::string& name, std::string& reason) {
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (name.size() >= sizeof address.sun_path) {
        reason = "name too long for a socket address";
        return -1;
    }
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    const int here = ::open(".", O_RDONLY | O_DIRECTORY);
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (here < 0 || fd < 0 || ::chdir(dir.c_str()) != 0 ||
        ::bind(fd, reinterpret_cast<const struct sockaddr*>(&address), sizeof address) != 0) {
        reason = std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        fd = -1;
    }
    if (here >= 0) {
        if (::fchdir(here) != 0) {
            throw std::runtime_error("cannot return to the working directory: " +
                                     std::string(std::strerror(errno)));
        }
        ::close(here);
    }
    return fd;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}
