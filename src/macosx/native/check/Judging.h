#ifndef JUDGING_H
#define JUDGING_H

#include <optional>
#include <string>
#include <vector>

#include "CfgDiagnostics.h"
#include "Experiments.h"
#include "JavaCommandLine.h"
#include "LaunchRecord.h"

// The line of the value; of the first value for an argument that joins them all.
size_t lineOfValue(const CfgDiagnostics& lines, const ValueRef& v);

// The findings about one launch record, and what every judge needs to make them: the lines of
// the values and the values themselves. Each judge looks at one part of the record.
class Findings {
public:
    Findings(const LaunchRecord& rec, const CfgDiagnostics& lines)
        : rec(rec), lines(lines),
          cmd(JavaCommandLine::parse(rec.launch ? rec.launch->args : std::vector<std::string>())) {}

    void warn(size_t line, const std::string& text) { add(line, text, false, false); }
    void fail(size_t line, const std::string& text) { add(line, text, true, false); }
    // A failure that only the check's own reading of the runtime foresees: the runtime's
    // verdict, when there is one, confirms it or drops it.
    void foresee(size_t line, const std::string& text) { add(line, text, true, true); }
    // A remark that changes no status: what the check could not do.
    void note(const std::string& text) { notes.push_back(text); }

    // The line of the value; of the first value for an argument that joins them all.
    size_t lineOf(const ValueRef& v) const { return lineOfValue(lines, v); }
    // The line of the last value of an [Application] property, 0 when it has none.
    size_t lastLineOf(const CfgFile::PropertyId& p) const;
    // The values of a property of the expanded configuration; null when it has none.
    const CfgFile::Values* values(const CfgFile::SectionId& s, const CfgFile::PropertyId& p) const;
    // Where the argument at argIndex comes from; none for the launcher's own texts.
    const std::optional<ValueRef>& originOf(size_t argIndex) const;
    // The line of what the runtime is to start: the main class, jar or module, else the
    // [Application] header, else the first line.
    size_t startLine() const;

    const LaunchRecord& rec;
    const CfgDiagnostics& lines;
    // The launch's arguments as the runtime reads them (none without a launch).
    const JavaCommandLine cmd;
    std::vector<Diagnostic> found;
    std::vector<std::string> notes;

private:
    void add(size_t line, const std::string& text, bool error, bool foreseen) {
        Diagnostic d{line ? line : 1, text, error};
        d.foreseen = foreseen;
        found.push_back(d);
    }
};

// The judges, each of one part of the record.
// References left as written, and the syntaxes of other launchers and shells.
void judgeValues(Findings& f);
// The files and directories that values name.
void judgeFiles(Findings& f);
// Warns when the existing file at path (what it is to the launch) lies outside the bundle and
// the user's own folders, on line; a jar (or "dir/*") also for what its manifest names.
void judgeOutside(Findings& f, const std::string& what, const std::string& path, size_t line,
                  bool jar);
// The runtime directory and its launch library.
void judgeRuntime(Findings& f);
// The argument vector as the runtime reads it: options, what to start, the application's.
void judgeCommandLine(Findings& f);
// What the runtime said in its trial start.
void judgeTrial(Findings& f);

// What the runtime changes without a word, as further trial starts through start show.
void judgeSilent(Findings& f, const Experiments::Start& start);

// Helpers the judges share.
// Where an inline comment starts in value ("#" or ";" after a blank), npos when none.
size_t inlineComment(const std::string& value);
// What a relative path in a value becomes at the start judged, with the advice.
std::string relativePathText(const Findings& f, const std::string& path, const char* advice);
// True for the runtime's own options that an application would hardly take as its arguments.
bool looksLikeRuntimeOption(const std::string& arg);
// What the runtime said, each line quoted without the blanks around it, joined by blanks.
std::string quotedLines(const std::vector<std::string>& lines);

#endif // JUDGING_H
