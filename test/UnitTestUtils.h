#ifndef UNITTESTUTILS_H
#define UNITTESTUTILS_H

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "SysInfo.h"

// The bare message of the launcher error that f throws ("no error" when it throws none), after
// checking that what() is exactly "<file>(<line>) at <func>(): <message>".
template <class F> std::string errorOf(F f, const std::string& file, const std::string& func) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        const VorlaneErrorBase* v = dynamic_cast<const VorlaneErrorBase*>(&e);
        if (!v) {
            return "not a launcher error: " + std::string(e.what());
        }
        const std::string what = e.what();
        const std::string head = file + "(";
        const std::string tail = ") at " + func + "(): " + v->rawMessage();
        const size_t digits = what.find_first_not_of("0123456789", head.size());
        EXPECT_TRUE(what.compare(0, head.size(), head) == 0 && digits != std::string::npos &&
                    digits > head.size() && what.compare(digits, std::string::npos, tail) == 0)
            << what;
        return v->rawMessage();
    }
    return "no error";
}

// Replaces the process arguments that SysInfo hands out while it lives.
class ArgvGuard {
public:
    explicit ArgvGuard(std::vector<std::string> args)
        : storage(std::move(args)), oldArgc(SysInfo::argc), oldArgv(SysInfo::argv) {
        for (std::string& s : storage) {
            pointers.push_back(&s[0]);
        }
        pointers.push_back(nullptr);
        SysInfo::argc = static_cast<int>(storage.size());
        SysInfo::argv = pointers.data();
    }
    ~ArgvGuard() {
        SysInfo::argc = oldArgc;
        SysInfo::argv = oldArgv;
    }
    ArgvGuard(const ArgvGuard&) = delete;
    ArgvGuard& operator=(const ArgvGuard&) = delete;

private:
    std::vector<std::string> storage;
    std::vector<char*> pointers;
    int oldArgc;
    char** oldArgv;
};

// True while some handle keeps the library loaded; asks without opening it.
inline bool isLoaded(const std::string& path) {
    void* h = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (h) {
        ::dlclose(h);
    }
    return h != nullptr;
}

// The loader's own explanation for a library that cannot be opened.
inline std::string dlopenError(const std::string& path) {
    void* h = ::dlopen(path.c_str(), RTLD_LAZY);
    EXPECT_EQ(nullptr, h) << path;
    const char* e = ::dlerror();
    return e ? e : "";
}

// The loader's own explanation for a symbol that the library lacks.
inline std::string dlsymError(const std::string& path, const std::string& name) {
    void* h = ::dlopen(path.c_str(), RTLD_LAZY);
    EXPECT_NE(nullptr, h) << path;
    EXPECT_EQ(nullptr, h ? ::dlsym(h, name.c_str()) : nullptr) << name;
    const char* e = ::dlerror();
    const std::string text = e ? e : "";
    if (h) {
        ::dlclose(h);
    }
    return text;
}

#endif // UNITTESTUTILS_H
