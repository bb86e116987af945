#include <mach-o/dyld.h>

#include <climits>
#include <cstring>
#include <string>
#include <sys/auxv.h>
#include <unistd.h>
#include <vector>

namespace {

// The resolved executable, for the rare case that the exec path is not on record.
bool readProcSelfExe(std::string& out) {
    std::vector<char> buf(PATH_MAX);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) {
            return false;
        }
        if (static_cast<size_t>(n) < buf.size()) {
            out.assign(buf.data(), static_cast<size_t>(n));
            return true;
        }
        buf.resize(buf.size() * 2);
    }
}

} // namespace

extern "C" int _NSGetExecutablePath(char* buf, uint32_t* bufsize) {
    if (!bufsize) {
        return 1;
    }
    // AT_EXECFN is the path exactly as handed to exec: relative paths and symbolic links stay as
    // the caller wrote them, which is what the macOS loader reports too.
    std::string path;
    const char* execFn = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (execFn && *execFn) {
        path = execFn;
    } else if (!readProcSelfExe(path)) {
        return 1;
    }
    const size_t needed = path.size() + 1;
    if (needed > UINT32_MAX) {
        return 1;
    }
    if (!buf || *bufsize < needed) {
        *bufsize = static_cast<uint32_t>(needed);
        return -1;
    }
    std::memcpy(buf, path.c_str(), needed);
    return 0;
}
