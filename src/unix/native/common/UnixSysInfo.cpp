#include <cstdlib>

#include "ErrorHandling.h"
#include "SysInfo.h"

namespace SysInfo {

std::string getEnvVariable(const std::string& name) {
    const char* value = ::getenv(name.c_str());
    if (!value) {
        throw makeException(tstrings::any() << "getenv(" << name << ") failed. Variable not set",
                            SOURCE_CODE_POS);
    }
    return value;
}

std::string getEnvVariable(const std::nothrow_t&, const std::string& name,
                           const std::string& defValue) {
    const char* value = ::getenv(name.c_str());
    return value ? std::string(value) : defValue;
}

bool isEnvVariableSet(const std::string& name) {
    return ::getenv(name.c_str()) != nullptr;
}

} // namespace SysInfo
