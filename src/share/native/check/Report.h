#ifndef REPORT_H
#define REPORT_H

#include <iosfwd>
#include <string>

class BundleCheck;

// The check's findings and what the launch reads, as data for tools: one JSON object, or GitHub
// Actions annotations. The text report is BundleCheck's own.
namespace Report {

// text as a JSON string: its bytes as they are, a byte that is no part of valid UTF-8 as
// "\udcXX" (0xDC00 + the byte), control characters, '"' and '\' escaped.
std::string jsonString(const std::string& text);

// The check's record and findings as one JSON object on one line; status is the check's exit
// status, launcherError the launcher's own failure ("" when it gets to the hand-off).
void printJson(std::ostream& out, const BundleCheck& check, int status,
               const std::string& launcherError);

// The findings as "<configuration>:<line>: warning: <text>" (or "error:") lines, then the notes
// as "note: <text>".
void printDiagnostics(std::ostream& out, const BundleCheck& check);

// Each finding as a GitHub Actions annotation ("::error file=F,line=N::TEXT"), one a line.
void printGithub(std::ostream& out, const BundleCheck& check, const std::string& launcherError);

} // namespace Report

#endif // REPORT_H
