#ifndef JUDGING_H
#define JUDGING_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CfgDiagnostics.h"
#include "Experiments.h"
#include "LaunchReads.h"
#include "LaunchRecord.h"
#include "RuntimeOptions.h"

// The line of the value; of the first value for an argument that joins them all.
size_t lineOfValue(const CfgDiagnostics& lines, const ValueRef& v);

// The findings about one launch record, with the lines and values every judge reads.
class Findings {
public:
    Findings(const LaunchRecord& rec, const CfgDiagnostics& lines) : rec(rec), lines(lines) {}

    void warn(size_t line, const std::string& text) { add(line, text, false); }
    void fail(size_t line, const std::string& text) { add(line, text, true); }
    // A failure where error is set, else a warning.
    void add(size_t line, const std::string& text, bool error) {
        found.push_back(Diagnostic{line ? line : 1, text, error});
    }
    // A remark that changes no status: what the check could not do.
    void note(const std::string& text) { notes.push_back(text); }

    // lineOfValue in these lines.
    size_t lineOf(const ValueRef& v) const { return lineOfValue(lines, v); }
    // The line of the last value of an [Application] property, 0 when it has none.
    size_t lastLineOf(const CfgFile::PropertyId& p) const;
    // The values of a property of the expanded configuration; null when it has none.
    const CfgFile::Values* values(const CfgFile::SectionId& s, const CfgFile::PropertyId& p) const;
    // Where the argument at argIndex comes from; none for the launcher's own texts.
    const std::optional<ValueRef>& originOf(size_t argIndex) const;
    // The runtime's listing of the property in its trial start (a path list's entries), or null.
    const std::vector<std::string>* property(const std::string& name) const;
    // The line of the main class, jar or module, else of the [Application] header, else 1.
    size_t startLine() const;

    // A path option's value that a property gives, with its line and the property's name.
    struct GivenPath {
        size_t line;
        std::string value;
        const char* name;
    };
    // The values of the path option given in the launch's arguments before end, in order.
    std::vector<GivenPath> pathsGiven(RuntimeOptions::Value path, size_t end) const;

    const LaunchRecord& rec;
    const CfgDiagnostics& lines;
    std::vector<Diagnostic> found;
    std::vector<std::string> notes;
};

// References left as written, other syntaxes, and values that arrive otherwise than they look.
void judgeValues(Findings& f);
// The files and directories that values name.
void judgeFiles(Findings& f);
// Warns on each of reads that lies outside the bundle and the user's own folders, and notes the
// line of that finding in the read.
void judgeOutside(Findings& f, std::vector<LaunchReads::Read>& reads);
// The runtime directory and its launch library.
void judgeRuntime(Findings& f);
// What the runtime starts and the class and module paths that count, as it lists them.
void judgeCommandLine(Findings& f);
// What the runtime said in its trial start.
void judgeTrial(Findings& f);
// What crosses the bundle's border or another user's.
void judgeBorders(Findings& f);

// What the runtime changes without a word, as further trial starts through start show.
void judgeSilent(Findings& f, const Experiments::Start& start);

// What a relative path in a value becomes at the start judged, with the advice.
std::string relativePathText(const Findings& f, const std::string& path, const char* advice);
// The non-empty entries of a path list; of a value, those between its separators.
std::vector<std::string> entriesOf(std::vector<std::string> list);
std::vector<std::string> entriesOf(const std::string& value, const char* separators = ":");
// Why another user (root aside) can change the file at path or a directory above it; "" if none.
std::string changeableByOthers(const std::string& path);
// The real path of path where it lies outside rootDir; "" where it is inside or does not exist.
std::string outOfBundle(const std::string& path, const std::string& rootDir);
// What the runtime said, each line quoted without the blanks around it, joined by blanks.
std::string quotedLines(const std::vector<std::string>& lines);
// The names in dir (without "." and "..") that take accepts, sorted; none where it is unreadable.
std::vector<std::string> namesIn(const std::string& dir,
                                 const std::function<bool(const std::string&)>& take);
// True when name ends as the runtime's "dir/*" wants a jar's name to end.
bool isJarName(const std::string& name);

#endif // JUDGING_H
