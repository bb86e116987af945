#ifndef SYSINFO_H
#define SYSINFO_H

#include <new>
#include <string>
#include <vector>

namespace SysInfo {

// The arguments of the first entry into main; the entry point sets them once.
extern int argc;
extern char** argv;

enum CommandArgProgramNameMode { IncludeProgramName = 0, ExcludeProgramName = 1 };

// resolveExecutablePath of the path the running executable was started as; throws.
std::string getProcessModulePath();

// execPath with its links followed, made absolute, resolved when it has "." or ".."; throws.
std::string resolveExecutablePath(const std::string& execPath);

// The target of the link that path (NUL-terminated) names, else path itself; throws.
std::string getRealPath(const std::vector<char>& path);

// path with the links of its last component followed, relative ones from their link; throws.
std::string followLinks(const std::string& path);

// The process arguments in argv order, without any that begin with "-psn_".
std::vector<std::string> getCommandArgs(CommandArgProgramNameMode mode = ExcludeProgramName);

// The value of the variable; throws when it is not set.
std::string getEnvVariable(const std::string& name);

// The value of the variable, or defValue when it is not set.
std::string getEnvVariable(const std::nothrow_t&, const std::string& name,
                           const std::string& defValue);

// True when the variable is set, even to the empty string.
bool isEnvVariableSet(const std::string& name);

} // namespace SysInfo

#endif // SYSINFO_H
