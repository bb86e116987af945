#include "JvmLauncher.h"

#include <cerrno>
#include <cstdarg>
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

// The runtime library reads the header's fields at fixed offsets: 0, 8, 12, 16, 24 and 32.
static_assert(sizeof(void*) == 8, "the record is laid out for 64-bit addresses");
static_assert(sizeof(JvmlLauncherData) == 40, "record header layout");

namespace {

// A snapshot of a Jvm that travels behind the opaque handle.
struct JliLaunchData {
    std::string jliLibPath;
    std::vector<std::string> args;
    std::vector<std::string> envVarNames;
    std::vector<std::string> envVarValues;

    // Measures (ptr null) or fills the record; returns its size, throws when it passes 2 GiB.
    int initJvmlLauncherData(JvmlLauncherData* ptr) const;
};

// Walks the record's data area; with a null base it only counts, so both passes share each step.
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

    // The packed (so unaligned) address array, a null entry last if terminated, then the strings.
    char* putStrings(const std::vector<std::string>& strings, bool terminated) {
        const size_t count = strings.size() + (terminated ? 1 : 0);
        char* array = take(count * sizeof(char*));
        for (size_t i = 0; i != count; ++i) {
            const char* str = i < strings.size() ? putString(strings[i]) : nullptr;
            if (array) {
                std::memcpy(array + i * sizeof str, &str, sizeof str);
            }
        }
        return array;
    }

    uint64_t size() const { return offset; }

private:
    char* const base;
    uint64_t offset;
};

// An entry of a packed array, read byte-wise: it need not be aligned.
char* getEntry(const char* const* array, size_t index) {
    char* value;
    std::memcpy(&value, reinterpret_cast<const char*>(array) + index * sizeof value, sizeof value);
    return value;
}

int JliLaunchData::initJvmlLauncherData(JvmlLauncherData* ptr) const {
    RecordCursor cursor(reinterpret_cast<char*>(ptr));
    cursor.take(sizeof(JvmlLauncherData));

    char* const libPath = cursor.putString(jliLibPath);
    char* const argArray = cursor.putStrings(args, true);
    char* const nameArray = cursor.putStrings(envVarNames, false);
    char* const valueArray = cursor.putStrings(envVarValues, false);

    // Counted in 64 bits: a description near 2 GiB is refused, not wrapped into a small buffer.
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
    return runReported(SOURCE_CODE_POS, -1, [h] {
        return static_cast<const JliLaunchData*>(h)->initJvmlLauncherData(nullptr);
    });
}

JvmlLauncherData* initJvmlLauncherData(JvmlLauncherHandle h, void* ptr, int32_t bufferSize) {
    JvmlLauncherData* const record = static_cast<JvmlLauncherData*>(ptr);
    return runReported(SOURCE_CODE_POS, static_cast<JvmlLauncherData*>(nullptr), [&] {
        const JliLaunchData* data = static_cast<const JliLaunchData*>(h);
        if (!record || data->initJvmlLauncherData(nullptr) > bufferSize) {
            return static_cast<JvmlLauncherData*>(nullptr);
        }
        data->initJvmlLauncherData(record);
        return record;
    });
}

typedef int (*JliLaunchFunc)(int argc, char** argv, int jargc, const char** jargv, int appclassc,
                             const char** appclassv, const char* fullversion,
                             const char* dotversion, const char* pname, const char* lname,
                             int javaargs, int cpwildcard, int javaw, int ergo);

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
    // The property's entry, or null when it or its section is absent.
    const auto find = [&](const CfgFile::SectionId& section, const CfgFile::PropertyId& property) {
        const CfgFile::PropertyMap& properties = cfgFile.getProperties(section);
        const CfgFile::PropertyMap::const_iterator it = properties.find(property);
        return it == properties.end() ? nullptr : &*it;
    };
    // Appends value, which carries the index-th value of the property, telling the observer.
    const auto addValue = [&](const CfgFile::SectionId& section,
                              const CfgFile::PropertyMap::value_type& property, size_t index,
                              std::string value) {
        addArgument(std::move(value));
        if (observer) {
            observer->onArgument(args.size() - 1, section, property.first, index);
        }
    };
    // Appends option (when not null) and the value, for each value of the property.
    const auto addEach = [&](const CfgFile::SectionId& section, const CfgFile::PropertyId& id,
                             const char* option) {
        if (const CfgFile::PropertyMap::value_type* property = find(section, id)) {
            for (size_t i = 0; i != property->second.size(); ++i) {
                if (option) {
                    addArgument(option);
                }
                addValue(section, *property, i, property->second[i]);
            }
        }
    };
    // Appends option (when not null) and the last value of the application's property.
    const auto addLast = [&](const CfgFile::PropertyId& id, const char* option) {
        if (const CfgFile::PropertyMap::value_type* property = find(SectionName::Application, id)) {
            if (option) {
                addArgument(option);
            }
            addValue(SectionName::Application, *property, property->second.size() - 1,
                     CfgFile::asString(*property));
        }
    };

    addEach(SectionName::Application, PropertyName::modulepath, "--module-path");
    if (const auto* classpath = find(SectionName::Application, PropertyName::classpath)) {
        addArgument("-classpath");
        addValue(SectionName::Application, *classpath, ArgumentObserver::kAllValues,
                 CfgFile::asPathList(*classpath));
    }
    if (const auto* property = find(SectionName::Application, PropertyName::splash)) {
        const std::string splash = CfgFile::asString(*property);
        if (FileUtils::isFileExists(splash)) {
            addValue(SectionName::Application, *property, property->second.size() - 1,
                     "-splash:" + splash);
        } else {
            LOG_WARNING("Splash property ignored. File \"" << splash << "\" not found");
        }
    }
    addEach(SectionName::JavaOptions, PropertyName::javaOptions, nullptr);
    addArgument("-Dvorlane.app-path=" + launcherPath);
    addLast(PropertyName::mainmodule, "-m");
    addLast(PropertyName::mainclass, nullptr);
    addLast(PropertyName::mainjar, "-jar");
    addEach(SectionName::ArgOptions, PropertyName::arguments, nullptr);
    return *this;
}

void* Jvm::exportLauncher() const {
    return new JliLaunchData{jvmPath, args, envVarNames, envVarValues};
}

void Jvm::launch() {
    const std::unique_ptr<JvmlLauncherData, void (*)(void*)> record(
        jvmLauncherCreateJvmlLauncherData(&api, exportLauncher(), nullptr), std::free);

    LOG_TRACE("JVM library: \"" << jvmPath << "\"");

    // Without a record (why has been reported) there is nothing to hand to the runtime.
    if (record) {
        // The function keeps its own handle, so the library's first one goes right away.
        const DllFunction<void*> jliLaunch(Dll{jvmPath}, "JLI_Launch");
        if (jvmLauncherStartJvm(record.get(), static_cast<void*>(jliLaunch)) == 0) {
            return;
        }
    }
    throw makeException("Failed to launch JVM", SOURCE_CODE_POS);
}

extern "C" {

JvmlLauncherData* jvmLauncherCreateJvmlLauncherData(const JvmlLauncherOps* ops,
                                                    JvmlLauncherHandle h, int32_t* size) {
    if (!h) {
        return nullptr;
    }

    const int32_t dataSize = ops->getJvmlLauncherDataSize(h);
    void* const buffer = dataSize >= 1 ? std::malloc(static_cast<size_t>(dataSize)) : nullptr;
    if (dataSize >= 1 && !buffer) {
        jvmLauncherLog("%s", std::strerror(errno));
    }
    JvmlLauncherData* const result =
        buffer ? ops->initJvmlLauncherData(h, buffer, dataSize) : nullptr;
    if (result && size) {
        *size = dataSize;
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

    for (int32_t i = 0; i < data->envVarCount; ++i) {
        jvmLauncherLog("env var[%d]: %s=[%s]", i, getEntry(data->envVarNames, i),
                       getEntry(data->envVarValues, i));
    }
    for (int32_t i = 0; i < data->envVarCount; ++i) {
        if (::setenv(getEntry(data->envVarNames, i), getEntry(data->envVarValues, i), 1) != 0) {
            jvmLauncherLog("setenv(%d) failed", i);
        }
    }

    // The runtime indexes the packed argument array as char**: it gets an aligned copy.
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
