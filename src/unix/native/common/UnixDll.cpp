#include <dlfcn.h>
#include <utility>

#include "Dll.h"
#include "ErrorHandling.h"
#include "tstrings.h"

namespace {

void* loadLibrary(const std::string& path) {
    // Functions are bound on first call; no other flag, so the library's own defaults apply.
    void* h = ::dlopen(path.c_str(), RTLD_LAZY);
    if (!h) {
        throw makeException(tstrings::any()
                                << "dlopen(" << path << ") failed. Error: " << ::dlerror(),
                            SOURCE_CODE_POS);
    }
    return h;
}

} // namespace

Dll::Dll(const tstrings::any& libPath) : thePath(libPath.str()), handle(loadLibrary(thePath)) {}

Dll::Dll(const Dll& other) : thePath(other.thePath), handle(loadLibrary(thePath)) {}

Dll::~Dll() {
    freeLibrary(std::exchange(handle, nullptr));
}

void* Dll::getFunction(const std::string& name, bool throwIfNotFound) const {
    ::dlerror(); // a stale error must not end up in our message
    void* f = ::dlsym(handle, name.c_str());
    if (!f && throwIfNotFound) {
        throw makeException(tstrings::any() << "dlsym(" << thePath << ", " << name
                                            << ") failed. Error: " << ::dlerror(),
                            SOURCE_CODE_POS);
    }
    return f;
}

void Dll::freeLibrary(void* h) {
    if (h) {
        ::dlclose(h);
    }
}
