#include "TestUtils.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ftw.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    // Directories made unreadable by a test are made readable again so they can go.
    ::chmod(path, 0700);
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
    dir = templ;
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
