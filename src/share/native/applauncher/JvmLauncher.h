#ifndef JVMLAUNCHER_H
#define JVMLAUNCHER_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "CfgFile.h"

// The launch description of the Java runtime: launch library, arguments, environment variables.
class Jvm {
public:
    Jvm();
    ~Jvm();
    Jvm(const Jvm&) = delete;
    Jvm& operator=(const Jvm&) = delete;

    // Told which configured value each appended argument carries.
    class ArgumentObserver {
    public:
        // Passed as index for an argument that joins all values of the property.
        static constexpr size_t kAllValues = static_cast<size_t>(-1);
        // The argument at argIndex carries the index-th (or every) value of the property.
        virtual void onArgument(size_t argIndex, const CfgFile::SectionId& section,
                                const CfgFile::PropertyId& property, size_t index) = 0;

    protected:
        ~ArgumentObserver() = default;
    };

    // Appends the configuration's arguments in their fixed order, telling observer their source.
    Jvm& initFromConfigFile(const CfgFile& cfgFile, const std::string& launcherPath,
                            ArgumentObserver* observer = nullptr);

    Jvm& setPath(const std::string& v) {
        jvmPath = v;
        return *this;
    }
    Jvm& addArgument(std::string v) {
        args.push_back(std::move(v));
        return *this;
    }
    Jvm& addEnvVariable(const std::string& name, const std::string& value) {
        envVarNames.push_back(name);
        envVarValues.push_back(value);
        return *this;
    }

    const std::string& getPath() const { return jvmPath; }
    const std::vector<std::string>& getArgs() const { return args; }
    const std::vector<std::string>& getEnvVarNames() const { return envVarNames; }
    const std::vector<std::string>& getEnvVarValues() const { return envVarValues; }

    // Loads the launch library, calls JLI_Launch; throws "Failed to launch JVM" unless it gives 0.
    void launch();

    // A copy of the description behind an opaque handle, released by the table's closeHandle.
    void* exportLauncher() const;

private:
    std::string jvmPath;
    std::vector<std::string> args;
    std::vector<std::string> envVarNames;
    std::vector<std::string> envVarValues;
};

extern "C" {

// One packed block: this header, the library path, then each array (args NULL-ended) and strings.
struct JvmlLauncherData {
    char* jliLibPath;
    int32_t jliArgCount;
    int32_t envVarCount;
    char** jliArgs;
    char** envVarNames;
    char** envVarValues;
};

typedef void* JvmlLauncherHandle;

// The functions behind a handle, through which the plain entry points read a description.
struct JvmlLauncherOps {
    void (*closeHandle)(JvmlLauncherHandle h);
    int32_t (*getJvmlLauncherDataSize)(JvmlLauncherHandle h);
    JvmlLauncherData* (*initJvmlLauncherData)(JvmlLauncherHandle h, void* ptr, int32_t bufferSize);
};

// A new malloc'ed record built from the handle, or null; the handle is always consumed.
JvmlLauncherData* jvmLauncherCreateJvmlLauncherData(const JvmlLauncherOps* ops,
                                                    JvmlLauncherHandle h, int32_t* size);

// Sets the record's variables and returns JLI_Launch's result on an aligned copy of its arguments.
int jvmLauncherStartJvm(const JvmlLauncherData* data, void* jliLaunch);

// printf-style line on standard error when VORLANE_DEBUG is "true".
void jvmLauncherLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // extern "C"

// The process-wide table of the functions behind the handles that Jvm::exportLauncher makes.
extern const JvmlLauncherOps api;

#endif // JVMLAUNCHER_H
