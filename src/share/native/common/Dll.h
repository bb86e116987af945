#ifndef DLL_H
#define DLL_H

#include <string>

#include "ErrorHandling.h"
#include "tstrings.h"

// An open shared library. Every object owns one handle: a copy opens the library again.
class Dll {
public:
    // Opens the library at the given path; throws the "dlopen(" error.
    explicit Dll(const tstrings::any& libPath);
    Dll(const Dll& other);
    Dll& operator=(const Dll&) = delete;
    ~Dll();

    // The address of the exported name, or null; throws the "dlsym(" error if throwIfNotFound.
    void* getFunction(const std::string& name, bool throwIfNotFound) const;

    const std::string& path() const { return thePath; }

    static void freeLibrary(void* h);

private:
    std::string thePath;
    void* handle;
};

// One exported function, kept together with its own handle of the library.
template <class T> class DllFunction {
public:
    DllFunction(const Dll& library, const tstrings::any& funcName)
        : lib(library), funcPtr(reinterpret_cast<T>(lib.getFunction(funcName.str(), true))),
          name(funcName.str()) {}

    operator T() const {
        if (!funcPtr) {
            throw makeException(tstrings::any()
                                    << name << "() function is not available in " << lib.path(),
                                SOURCE_CODE_POS);
        }
        return funcPtr;
    }

private:
    Dll lib;
    T funcPtr;
    std::string name;
};

#endif // DLL_H
