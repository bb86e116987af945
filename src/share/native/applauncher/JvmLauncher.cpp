#include "JvmLauncher.h"

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "CfgFile.h"
#include "Dll.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "tstrings.h"

// The runtime library reads the header at these offsets.
static_assert(sizeof(void*) == 8, "the record is laid out for 64-bit addresses");
static_assert(offsetof(JvmlLauncherData, jliLibPath) == 0, "record header layout");
static_assert(offsetof(JvmlLauncherData, jliArgCount) == 8, "record header layout");
static_assert(offsetof(JvmlLauncherData, envVarCount) == 12, "record header layout");
static_assert(offsetof(JvmlLauncherData, jliArgs) == 16, "record header layout");
static_assert(offsetof(JvmlLauncherData, envVarNames) == 24, "record header layout");
static_assert(offsetof(JvmlLauncherData, envVarValues) == 32, "record header layout");
static_assert(sizeof(JvmlLauncherData) == 40, "record header layout");

namespace {

// A snapshot of a Jvm that travels behind the opaque handle.
class JliLaunchData {
public:
    std::string jliLibPath;
    std::vector<std::string> args;
    std::vector<std::string> envVarNames;
    std::vector<std::string> envVarValues;

    // Measures the record when ptr is null, else fills it; returns its size in bytes. Throws
    // when the size does not fit the record's 32-bit size.
    int initJvmlLauncherData(JvmlLauncherData* ptr) const;
};

// Walks the record's data area. With a null base it only counts, so measuring and filling
// share every step and can never disagree about the layout.
class RecordCursor {
public:
    explicit RecordCursor(char* base) : base(base), offset(0) {}

    // The address of the next n bytes (null when measuring), which are then passed over.
    char* take(uint64_t n) {
        char* at = base ? base + offset : nullptr;
        offset += n;
        return at;
    }

    // Copies str with its NUL; returns the copy's address (null when measuring).
    char* putString(const std::string& str) {
        char* at = take(str.size() + 1);
        if (at) {
            std::memcpy(at, str.c_str(), str.size() + 1);
        }
        return at;
    }

    // Room for count addresses; the arrays are packed, so they may start at any byte.
    char* takePointerArray(uint64_t count) { return take(count * sizeof(char*)); }

    uint64_t size() const { return offset; }

private:
    char* const base;
    uint64_t offset;
};

// Entries of the packed arrays are written and read byte-wise: they need not be aligned.
void putEntry(char* array, size_t index, const char* value) {
    std::memcpy(array + index * sizeof value, &value, sizeof value);
}

char* getEntry(const char* const* array, size_t index) {
    char* value;
    std::memcpy(&value, reinterpret_cast<const char*>(array) + index * sizeof value, sizeof value);
    return value;
}

// Places one list of strings: the address array, then the strings themselves.
char* putStrings(RecordCursor& cursor, const std::vector<std::string>& strings, bool terminated) {
    char* array = cursor.takePointerArray(strings.size() + (terminated ? 1 : 0));
    if (array && terminated) {
        putEntry(array, strings.size(), nullptr);
    }
    for (size_t i = 0; i != strings.size(); ++i) {
        char* str = cursor.putString(strings[i]);
        if (array) {
            putEntry(array, i, str);
        }
    }
    return array;
}

int JliLaunchData::initJvmlLauncherData(JvmlLauncherData* ptr) const {
    RecordCursor cursor(reinterpret_cast<char*>(ptr));
    cursor.take(sizeof(JvmlLauncherData));

    char* const libPath = cursor.putString(jliLibPath);
    char* const argArray = putStrings(cursor, args, true);
    char* const nameArray = putStrings(cursor, envVarNames, false);
    char* const valueArray = putStrings(cursor, envVarValues, false);

    // Counted in 64 bits: a description near 2 GiB must be refused, not wrapped into a small
    // buffer that the filling pass would overrun.
    const uint64_t size = cursor.size();
    if (size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        throw makeException(tstrings::any() << "JvmlLauncherData needs " << size
                                            << " bytes, more than the limit of "
                                            << std::numeric_limits<int32_t>::max() << " bytes",
                            SOURCE_CODE_POS);
    }

    if (ptr) {
        ptr->jliLibPath = libPath;
        ptr->jliArgs = reinterpret_cast<char**>(argArray);
        ptr->jliArgCount = static_cast<int32_t>(args.size());
        ptr->envVarNames = reinterpret_cast<char**>(nameArray);
        ptr->envVarCount = static_cast<int32_t>(envVarNames.size());
        ptr->envVarValues = reinterpret_cast<char**>(valueArray);
        LOG_TRACE("Initialized " << size << " bytes at " << static_cast<const void*>(ptr)
                                 << " address");
    } else {
        LOG_TRACE("Need " << size << " bytes for JvmlLauncherData buffer");
    }
    return static_cast<int>(size);
}

void closeHandle(JvmlLauncherHandle h) {
    delete static_cast<JliLaunchData*>(h);
}

int32_t getJvmlLauncherDataSize(JvmlLauncherHandle h) {
    try {
        return static_cast<const JliLaunchData*>(h)->initJvmlLauncherData(nullptr);
    } catch (const std::runtime_error& e) {
        reportError(SOURCE_CODE_POS, e);
    } catch (...) {
        reportUnknownError(SOURCE_CODE_POS);
    }
    return -1;
}

JvmlLauncherData* initJvmlLauncherData(JvmlLauncherHandle h, void* ptr, int32_t bufferSize) {
    try {
        const JliLaunchData* data = static_cast<const JliLaunchData*>(h);
        if (ptr && data->initJvmlLauncherData(nullptr) <= bufferSize) {
            JvmlLauncherData* record = static_cast<JvmlLauncherData*>(ptr);
            data->initJvmlLauncherData(record);
            return record;
        }
    } catch (const std::runtime_error& e) {
        reportError(SOURCE_CODE_POS, e);
    } catch (...) {
        reportUnknownError(SOURCE_CODE_POS);
    }
    return nullptr;
}

typedef int (*JliLaunchFunc)(int argc, char** argv, int jargc, const char** jargv, int appclassc,
                             const char** appclassv, const char* fullversion,
                             const char* dotversion, const char* pname, const char* lname,
                             int javaargs, int cpwildcard, int javaw, int ergo);

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

} // namespace

const JvmlLauncherOps api = {closeHandle, getJvmlLauncherDataSize, initJvmlLauncherData};

Jvm::Jvm() {
    LOG_TRACE("Jvm(" << static_cast<const void*>(this) << ")::Jvm()");
}

Jvm::~Jvm() {
    try {
        LOG_TRACE("Jvm(" << static_cast<const void*>(this) << ")::~Jvm()");
    } catch (...) {
        // A trace line is not worth terminating the process for.
    }
}

Jvm& Jvm::initFromConfigFile(const CfgFile& cfgFile, const std::string& launcherPath,
                             ArgumentObserver* observer) {
    const CfgFile::PropertyMap& appOptions = cfgFile.getProperties(SectionName::Application);
    const CfgFile::PropertyMap::const_iterator appEnd = appOptions.end();

    // Appends the index-th value of the property found at it, telling the observer.
    const auto addValue = [&](const CfgFile::SectionId& section,
                              const CfgFile::PropertyMap::const_iterator& it, size_t index,
                              std::string value) {
        addArgument(std::move(value));
        if (observer) {
            observer->onArgument(args.size() - 1, section, it->first, index);
        }
    };
    const auto addLastValue = [&](const CfgFile::PropertyMap::const_iterator& it) {
        addValue(SectionName::Application, it, it->second.size() - 1, CfgFile::asString(*it));
    };

    CfgFile::PropertyMap::const_iterator it = appOptions.find(PropertyName::modulepath);
    if (it != appEnd) {
        for (size_t i = 0; i != it->second.size(); ++i) {
            addArgument("--module-path");
            addValue(SectionName::Application, it, i, it->second[i]);
        }
    }

    it = appOptions.find(PropertyName::classpath);
    if (it != appEnd) {
        addArgument("-classpath");
        addValue(SectionName::Application, it, ArgumentObserver::kAllValues,
                 CfgFile::asPathList(*it));
    }

    it = appOptions.find(PropertyName::splash);
    if (it != appEnd) {
        const std::string splash = CfgFile::asString(*it);
        if (FileUtils::isFileExists(splash)) {
            addValue(SectionName::Application, it, it->second.size() - 1, "-splash:" + splash);
        } else {
            LOG_WARNING("Splash property ignored. File \"" << splash << "\" not found");
        }
    }

    const CfgFile::PropertyMap& javaOptions = cfgFile.getProperties(SectionName::JavaOptions);
    it = javaOptions.find(PropertyName::javaOptions);
    if (it != javaOptions.end()) {
        for (size_t i = 0; i != it->second.size(); ++i) {
            addValue(SectionName::JavaOptions, it, i, it->second[i]);
        }
    }

    addArgument("-Dvorlane.app-path=" + launcherPath);

    it = appOptions.find(PropertyName::mainmodule);
    if (it != appEnd) {
        addArgument("-m");
        addLastValue(it);
    }

    it = appOptions.find(PropertyName::mainclass);
    if (it != appEnd) {
        addLastValue(it);
    }

    it = appOptions.find(PropertyName::mainjar);
    if (it != appEnd) {
        addArgument("-jar");
        addLastValue(it);
    }

    const CfgFile::PropertyMap& argOptions = cfgFile.getProperties(SectionName::ArgOptions);
    it = argOptions.find(PropertyName::arguments);
    if (it != argOptions.end()) {
        for (size_t i = 0; i != it->second.size(); ++i) {
            addValue(SectionName::ArgOptions, it, i, it->second[i]);
        }
    }
    return *this;
}

void* Jvm::exportLauncher() const {
    std::unique_ptr<JliLaunchData> result(new JliLaunchData());
    result->jliLibPath = jvmPath;
    result->args = args;
    result->envVarNames = envVarNames;
    result->envVarValues = envVarValues;
    return result.release();
}

void Jvm::launch(bool dryRun) {
    const std::unique_ptr<JvmlLauncherData, FreeDeleter> record(
        jvmLauncherCreateJvmlLauncherData(&api, exportLauncher(), nullptr));

    LOG_TRACE("JVM library: \"" << jvmPath << "\"");

    // Whatever kept the record from being built has been reported already; without a record
    // there is nothing to hand to the runtime.
    if (!record) {
        throw makeException("Failed to launch JVM", SOURCE_CODE_POS);
    }

    std::unique_ptr<DllFunction<void*>> jliLaunch;
    {
        // The function keeps its own handle, so this one can go right away.
        const Dll jvmLib(jvmPath);
        jliLaunch.reset(new DllFunction<void*>(jvmLib, "JLI_Launch"));
    }
    if (dryRun) {
        return;
    }

    const int exitCode = jvmLauncherStartJvm(record.get(), static_cast<void*>(*jliLaunch));
    if (exitCode != 0) {
        throw makeException("Failed to launch JVM", SOURCE_CODE_POS);
    }
}

extern "C" {

JvmlLauncherData* jvmLauncherCreateJvmlLauncherData(const JvmlLauncherOps* ops,
                                                    JvmlLauncherHandle h, int32_t* size) {
    if (!h) {
        return nullptr;
    }

    JvmlLauncherData* result = nullptr;
    void* buffer = nullptr;
    const int32_t dataSize = ops->getJvmlLauncherDataSize(h);
    if (dataSize >= 1) {
        buffer = std::malloc(static_cast<size_t>(dataSize));
        if (!buffer) {
            jvmLauncherLog("%s", std::strerror(errno));
        } else {
            result = ops->initJvmlLauncherData(h, buffer, dataSize);
            if (result && size) {
                *size = dataSize;
            }
        }
    }

    ops->closeHandle(h);
    if (!result) {
        std::free(buffer);
    }
    return result;
}

int jvmLauncherStartJvm(const JvmlLauncherData* data, void* jliLaunch) {
    if (!data || !jliLaunch) {
        return -1; // nothing to start: a failure, never a crash
    }
    jvmLauncherLog("jli lib: [%s]", data->jliLibPath);
    for (int32_t i = 0; i < data->jliArgCount; ++i) {
        jvmLauncherLog("jli arg[%d]: [%s]", i, getEntry(data->jliArgs, i));
    }

    if (data->envVarCount > 0) {
        for (int32_t i = 0; i < data->envVarCount; ++i) {
            jvmLauncherLog("env var[%d]: %s=[%s]", i, getEntry(data->envVarNames, i),
                           getEntry(data->envVarValues, i));
        }
        for (int32_t i = 0; i < data->envVarCount; ++i) {
            if (::setenv(getEntry(data->envVarNames, i), getEntry(data->envVarValues, i), 1) != 0) {
                jvmLauncherLog("setenv(%d) failed", i);
            }
        }
    }

    // The record's argument array is packed and may start at any byte, but the runtime indexes
    // it as char**: it gets an aligned, null-terminated copy of the entries instead.
    const size_t argCount = data->jliArgCount > 0 ? static_cast<size_t>(data->jliArgCount) : 0;
    char** const argv = static_cast<char**>(std::calloc(argCount + 1, sizeof(char*)));
    if (!argv) {
        jvmLauncherLog("%s", std::strerror(errno));
        return -1;
    }
    for (size_t i = 0; i != argCount; ++i) {
        argv[i] = getEntry(data->jliArgs, i);
    }

    const JliLaunchFunc launch = reinterpret_cast<JliLaunchFunc>(jliLaunch);
    const int result =
        launch(data->jliArgCount, argv, 0, nullptr, 0, nullptr, "", "", "java", "java", 0, 0, 0, 0);
    std::free(argv);
    return result;
}

void jvmLauncherLog(const char* format, ...) {
    const char* debug = std::getenv("VORLANE_DEBUG");
    if (!debug || std::strcmp(debug, "true") != 0) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

} // extern "C"
