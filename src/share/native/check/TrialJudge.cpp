// The runtime's errors and warnings in its trial start, each on the line that further trial
// starts found to cause it, else on the line of the value it names.

#include <algorithm>
#include <cctype>
#include <cstring>

#include "FileUtils.h"
#include "Judging.h"
#include "tstrings.h"

namespace {

bool isWarning(const std::string& words) {
    return tstrings::startsWith(words, "WARNING:") || tstrings::startsWith(words, "Warning:") ||
           tstrings::startsWith(words, "[warning]") ||
           words.find(" warning: ") != std::string::npos;
}

// Lines that frame the runtime's words: headers, stack frames, echoed variables, the launcher's.

bool isFrame(const std::string& line) {
    static const char* const frames[] = {
        "Error: Could not create the Java Virtual Machine.",
        "Error: A fatal exception has occurred. Program will exit.",
        "Error occurred during initialization of ",
        "Picked up ",
        "Failed to launch JVM",
        "\tat ",
        "\t... ",
    };
    return std::any_of(std::begin(frames), std::end(frames),
                       [&](const char* frame) { return tstrings::startsWith(line, frame); });
}

// The lines that open the runtime's own error, which comes after whatever an agent printed.
bool opensError(const std::string& line) {
    return tstrings::startsWith(line, "Error: ") ||
           tstrings::startsWith(line, "Exception in thread ");
}

// True when text holds word with no letter, digit or part of a name or path on either side.
bool names(const std::string& text, const std::string& word) {
    const auto inWord = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("._-/$", c);
    };
    for (size_t at = text.find(word); !word.empty() && at != std::string::npos;
         at = text.find(word, at + 1)) {
        const size_t end = at + word.size();
        if ((at == 0 || !inWord(text[at - 1])) && (end == text.size() || !inWord(text[end]))) {
            return true;
        }
    }
    return false;
}

// The line of the last configured value that text names, whole or by what follows its last
// ":", "=" or "+"; an option's bare name only where no value is named. 0 when text names none.
size_t lineNamedBy(const Findings& f, const std::string& text) {
    const std::vector<std::string>& args = f.rec.launch->args;
    size_t line = 0;
    size_t optionLine = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        const size_t cut = args[i].find_last_of(":=+");
        const std::string tail = cut == std::string::npos ? "" : args[i].substr(cut + 1);
        if (f.originOf(i) && (names(text, args[i]) || (tail.size() > 1 && names(text, tail)))) {
            const bool bare = RuntimeOptions::takesNext(args[i]);
            (bare ? optionLine : line) = f.lineOf(*f.originOf(i));
        }
    }
    return line ? line : optionLine;
}

// The line of what the runtime said: the last of the lines found to cause said[0], the others
// named in suffix; else the line its words name, 0 for none.
size_t placeOf(const Findings& f, const std::vector<std::string>& said, std::string& suffix) {
    const auto it = f.rec.causes.find(said[0]);
    if (it != f.rec.causes.end() && !it->second.empty()) {
        const std::vector<size_t>& lines = it->second;
        if (lines.size() > 1) {
            std::vector<std::string> others;
            for (size_t k = 0; k + 1 < lines.size(); ++k) {
                others.push_back(std::to_string(lines[k]));
            }
            suffix = std::string(" (with line") + (others.size() > 1 ? "s " : " ") +
                     tstrings::join(others, ", ") + ")";
        }
        return lines.back();
    }
    const size_t line = lineNamedBy(f, tstrings::join(said, " "));
    if (!line && it != f.rec.causes.end()) {
        suffix = " (its words name no line, and trial starts without each java-options line "
                 "did not single one out)";
    }
    return line;
}

} // namespace

void judgeTrial(Findings& f) {
    const LaunchRecord::Trial& trial = *f.rec.trial;
    const std::vector<std::string>& said = trial.said;
    const bool noDryRun = std::any_of(said.begin(), said.end(), [](const std::string& line) {
        return line.find("Unrecognized option: --dry-run") != std::string::npos;
    });
    if (noDryRun || !trial.missing.empty()) {
        f.note(
            "the runtime's verdict is missing: " +
            (noDryRun ? "this runtime has no dry run (Java 9 and later have it)" : trial.missing) +
            "; the findings are the check's own");
        return;
    }
    if (!f.rec.standIn.empty()) {
        f.note(f.rec.standIn);
    }

    // Warnings; a warning line that names no value goes on with the warning before it.
    std::vector<std::string> errors;
    std::vector<std::string> warning;
    size_t warningLine = 0;
    std::string warningSuffix;
    const auto flush = [&] {
        const size_t line = warningLine ? warningLine : f.startLine();
        const std::string text = "the runtime warns: " + quotedLines(warning) + warningSuffix;
        // The same log line may go to standard output and to standard error.
        if (!warning.empty() && std::none_of(f.found.begin(), f.found.end(), [&](const auto& d) {
                return d.line == line && d.text == text;
            })) {
            f.warn(line, text);
        }
        warning.clear();
    };
    for (const std::string& line : said) {
        // A log line that an option asks for is none of the runtime's words.
        const std::string words = Experiments::wordsOf(line);
        if (!isWarning(words)) {
            flush();
            if (!words.empty() && !isFrame(words)) {
                if (opensError(words) && !errors.empty() && !opensError(errors[0])) {
                    errors.clear();
                }
                errors.push_back(words);
            }
            continue;
        }
        std::string suffix;
        const size_t at = placeOf(f, {words}, suffix);
        if (at || warning.empty()) {
            flush();
            warningLine = at;
            warningSuffix = suffix;
        }
        warning.push_back(words);
    }
    flush();

    if (trial.status == 0) {
        return;
    }
    errors.resize(std::min<size_t>(errors.size(), 2));
    const std::string text =
        errors.empty() ? "it ended with status " + std::to_string(trial.status) + " and no word"
                       : quotedLines(errors);
    std::string suffix;
    const size_t placed = errors.empty() ? 0 : placeOf(f, errors, suffix);
    size_t line = placed ? placed : f.startLine();
    // Where the main class is not found and no listed class path entry exists, that is why.
    const std::vector<std::string>* classPath = f.property("java.class.path");
    size_t classPathLine = 0;
    for (const Findings::GivenPath& g :
         f.pathsGiven(RuntimeOptions::Value::ClassPath, f.rec.launch->args.size())) {
        if (classPath && entriesOf(g.value) == entriesOf(*classPath)) {
            classPathLine = g.line;
        }
    }
    if (line == f.lastLineOf(PropertyName::mainclass) && classPathLine &&
        !entriesOf(*classPath).empty() &&
        std::none_of(classPath->begin(), classPath->end(), [](const std::string& entry) {
            return !entry.empty() && FileUtils::isFileExists(entry);
        })) {
        line = classPathLine;
    }
    // A failure that the launcher's own facts show on that line is the same failure.
    for (Diagnostic& d : f.found) {
        if (d.error && d.line == line) {
            d.text += " (the runtime: " + text + ")" + suffix;
            return;
        }
    }
    f.fail(line, "the runtime fails: " + text + suffix);
}
