#ifndef JVMLAUNCHER_H
#define JVMLAUNCHER_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "CfgFile.h"

// The launch description of the Java runtime: its launch library, the arguments and the
// environment variables to set just before the launch.
class Jvm {
public:
    Jvm();
    ~Jvm();
    Jvm(const Jvm&) = delete;
    Jvm& operator=(const Jvm&) = delete;

    // Told which configured value each appended argument carries, for tools that explain a
    // launch.
    class ArgumentObserver {
    public:
        // Passed as index for an argument that joins all values of the property.
        static constexpr size_t kAllValues = static_cast<size_t>(-1);
        // The argument at argIndex carries the index-th value of the property in the section,
        // or all its values.
        virtual void onArgument(size_t argIndex, const CfgFile::SectionId& section,
                                const CfgFile::PropertyId& property, size_t index) = 0;

    protected:
        ~ArgumentObserver() = default;
    };

    // Appends the arguments that the configuration asks for, in their fixed order, for the
    // launcher at launcherPath, which the application is told about; tells observer (when not
    // null) where each argument comes from.
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

    // Loads the launch library and calls JLI_Launch; throws "Failed to launch JVM" when it
    // returns non-zero. A dry run stops before anything is set or called, once the launch
    // record is built and JLI_Launch found.
    void launch(bool dryRun = false);

    // A copy of the description behind an opaque handle, released by the table's closeHandle.
    void* exportLauncher() const;

private:
    std::string jvmPath;
    std::vector<std::string> args;
    std::vector<std::string> envVarNames;
    std::vector<std::string> envVarValues;
};

extern "C" {

// One flat block: this header, then the library path, the NULL-terminated argument array,
// the argument strings, the name array and strings, the value array and strings, packed
// without gaps. All addresses point into the block.
struct JvmlLauncherData {
    char* jliLibPath;
    int32_t jliArgCount;
    int32_t envVarCount;
    char** jliArgs;
    char** envVarNames;
    char** envVarValues;
};

typedef void* JvmlLauncherHandle;

typedef void (*JvmlLauncherOps_closeHandle)(JvmlLauncherHandle h);
typedef int32_t (*JvmlLauncherOps_getJvmlLauncherDataSize)(JvmlLauncherHandle h);
typedef JvmlLauncherData* (*JvmlLauncherOps_initJvmlLauncherData)(JvmlLauncherHandle h, void* ptr,
                                                                  int32_t bufferSize);

struct JvmlLauncherOps {
    JvmlLauncherOps_closeHandle closeHandle;
    JvmlLauncherOps_getJvmlLauncherDataSize getJvmlLauncherDataSize;
    JvmlLauncherOps_initJvmlLauncherData initJvmlLauncherData;
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
