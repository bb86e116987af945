#include <mach-o/dyld.h>

#include <climits>
#include <cstring>
#include <sys/auxv.h>

extern "C" int _NSGetExecutablePath(char* buf, uint32_t* bufsize) {
    // AT_EXECFN is the path as handed to exec, relative or through links, as macOS reports it.
    const char* path = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (!bufsize || !path || !*path) {
        return 1;
    }
    // The kernel takes no path longer than PATH_MAX, so the size fits.
    const size_t needed = std::strlen(path) + 1;
    if (!buf || *bufsize < needed) {
        *bufsize = static_cast<uint32_t>(needed);
        return -1;
    }
    std::memcpy(buf, path, needed);
    return 0;
}
