#include "Report.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <utility>
#include <vector>

#include "BundleCheck.h"
#include "CfgDiagnostics.h"
#include "FileUtils.h"
#include "Judging.h"
#include "LaunchReads.h"

namespace {

typedef std::vector<std::pair<const char*, std::string>> Members;

// The length of the valid UTF-8 sequence at text[i], 0 when there is none.
size_t utf8Length(const std::string& text, size_t i) {
    const auto at = [&](size_t k) {
        return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
    };
    const unsigned c = at(i);
    if (c < 0x80) {
        return 1;
    }
    const size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                     : c >= 0xE0 && c <= 0xEF ? 3
                     : c >= 0xF0 && c <= 0xF4 ? 4
                                              : 0;
    // The second byte's range rules out overlong forms, surrogates and what lies past U+10FFFF.
    const unsigned low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const unsigned high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    if (n == 0 || at(i + 1) < low || at(i + 1) > high) {
        return 0;
    }
    for (size_t k = 2; k < n; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return n;
}

std::string hex4(unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", value);
    return buf;
}

std::string text(const std::string& s) {
    return Report::jsonString(s);
}
std::string textOrNull(const std::string& s) {
    return s.empty() ? "null" : text(s);
}
std::string numberOrNull(size_t n) {
    return n ? std::to_string(n) : "null";
}
std::string boolean(bool b) {
    return b ? "true" : "false";
}

// The items between open and close, separated by ", ".
std::string joined(const std::vector<std::string>& items, const char* open, const char* close) {
    std::string out = open;
    for (const std::string& item : items) {
        out += (out.size() > 1 ? ", " : "") + item;
    }
    return out + close;
}

std::string object(const Members& members) {
    std::vector<std::string> items;
    for (const auto& m : members) {
        items.push_back(text(m.first) + ": " + m.second);
    }
    return joined(items, "{", "}");
}

std::string array(const std::vector<std::string>& items) {
    return joined(items, "[", "]");
}

// A finding's file, line, severity ("error", "warning", "note") and text.
struct Finding {
    std::string file;
    size_t line;
    const char* severity;
    std::string message;
};

// The findings in the text report's order, then the notes, then the launcher's own failure.
std::vector<Finding> findingsOf(const BundleCheck& check, const std::string& launcherError) {
    const LaunchRecord& rec = check.record();
    const std::string file = rec.cfg ? rec.cfg->path : rec.launcherPath;
    std::vector<Finding> found;
    for (const Diagnostic& d : check.diagnostics()) {
        found.push_back({file, d.line, d.error ? "error" : "warning", d.text});
    }
    for (const std::string& note : check.remarks()) {
        found.push_back({"", 0, "note", note});
    }
    if (!launcherError.empty()) {
        found.push_back({file, 0, "error", launcherError});
    }
    return found;
}

std::string runtimeOf(const LaunchRecord& rec) {
    const std::string home =
        rec.runtime ? FileUtils::combinePath(rec.runtime->dir, "Contents/Home") : "";
    const bool judged = rec.trial && rec.trial->missing.empty();
    return object({{"home", textOrNull(home)},
                   {"library", textOrNull(rec.launch ? rec.launch->libPath : "")},
                   {"judged_by",
                    judged ? textOrNull(rec.standInHome.empty() ? home : rec.standInHome) : "null"},
                   {"stand_in", boolean(!rec.standInHome.empty())}});
}

// The line after which a java-options value is the last Java option handed over: the last such
// value, else the header of the [JavaOptions] section the launcher reads; 0 when there is none.
size_t javaOptionsPlace(const BundleCheck& check) {
    const Findings f(check.record(), check.cfgLines());
    const CfgFile::Values* options = f.values(SectionName::JavaOptions, PropertyName::javaOptions);
    return options && !options->empty()
               ? f.lines.lineOf(SectionName::JavaOptions, PropertyName::javaOptions,
                                options->size() - 1)
               : f.lines.headerLineOf(SectionName::JavaOptions);
}

} // namespace

std::string Report::jsonString(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = utf8Length(s, i);
        if (n == 0) {
            out += hex4(0xDC00 + c);
            n = 1;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (*shortEscape(static_cast<char>(c))) {
            out += shortEscape(static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7F) {
            out += hex4(c);
        } else {
            out.append(s, i, n);
        }
        i += n;
    }
    return out + "\"";
}

void Report::printJson(std::ostream& out, const BundleCheck& check, int status,
                       const std::string& launcherError) {
    const LaunchRecord& rec = check.record();
    const std::string cfgPath = rec.cfg ? rec.cfg->path : "";
    const auto from = [&](size_t line) {
        return object({{"file", line ? text(cfgPath) : "null"}, {"line", numberOrNull(line)}});
    };

    std::vector<std::string> env;
    for (const std::string& e : rec.start.env) {
        const size_t eq = e.find('=');
        env.push_back(text(e.substr(0, eq)) + ": " +
                      text(eq == std::string::npos ? "" : e.substr(eq + 1)));
    }

    std::vector<std::string> commandLine;
    for (size_t i = 0; rec.launch && i < rec.launch->args.size(); ++i) {
        const std::optional<ValueRef>& o = rec.launch->origins[i];
        const size_t line = o ? lineOfValue(check.cfgLines(), *o) : 0;
        commandLine.push_back(object({{"value", text(rec.launch->args[i])},
                                      {"file", line ? text(cfgPath) : "null"},
                                      {"line", numberOrNull(line)}}));
    }

    // The class and module paths first, then what the manifests name.
    std::vector<LaunchReads::Read> listed = check.launchReads();
    std::stable_partition(listed.begin(), listed.end(),
                          [](const LaunchReads::Read& r) { return r.manifest.empty(); });
    std::vector<std::string> reads;
    for (const LaunchReads::Read& r : listed) {
        reads.push_back(object(
            {{"path", text(r.path)},
             {"kind", text(r.kind)},
             {"inside", boolean(r.inside)},
             {"exists", boolean(r.exists)},
             {"from", r.manifest.empty() ? from(r.line) : object({{"manifest", text(r.manifest)}})},
             {"finding", r.finding ? from(r.finding) : "null"}}));
    }

    std::vector<std::string> roots;
    for (const std::string& root : LaunchReads::roots(rec)) {
        roots.push_back(text(root));
    }

    std::vector<std::string> findings;
    for (const Finding& f : findingsOf(check, launcherError)) {
        findings.push_back(object({{"file", textOrNull(f.file)},
                                   {"line", numberOrNull(f.line)},
                                   {"severity", text(f.severity)},
                                   {"message", text(f.message)}}));
    }

    const LaunchReads::Main main = LaunchReads::main(rec);
    const size_t place = rec.cfg ? javaOptionsPlace(check) : 0;
    out << object({
               {"bundle", textOrNull(rec.bundle ? rec.bundle->rootDir : "")},
               {"status", std::to_string(status)},
               {"start",
                object({{"kind", text(rec.start.doubleClick ? "double-click" : "terminal")},
                        {"directory", text(rec.start.workDir)},
                        {"environment", joined(env, "{", "}")}})},
               {"config", rec.cfg ? object({{"path", text(cfgPath)},
                                            {"own", boolean(cfgPath == rec.cfg->bundlePath)}})
                                  : "null"},
               {"runtime", runtimeOf(rec)},
               {"main", object({{"class", textOrNull(main.mainClass)},
                                {"module", textOrNull(main.module)},
                                {"jar", textOrNull(main.jar)}})},
               {"roots", array(roots)},
               {"command_line", array(commandLine)},
               {"reads", array(reads)},
               {"java_options_place", place ? from(place) : "null"},
               {"findings", array(findings)},
           })
        << "\n";
}

void Report::printDiagnostics(std::ostream& out, const BundleCheck& check) {
    for (const Finding& f : findingsOf(check, "")) {
        const bool note = std::string(f.severity) == "note";
        out << (note ? "" : visibleText(f.file) + ":" + std::to_string(f.line) + ": ") << f.severity
            << ": " << f.message << "\n";
    }
}

void Report::printGithub(std::ostream& out, const BundleCheck& check,
                         const std::string& launcherError) {
    const auto escaped = [](const std::string& s, bool property) {
        std::string e;
        for (const char c : s) {
            e += c == '%'               ? "%25"
                 : c == '\r'            ? "%0D"
                 : c == '\n'            ? "%0A"
                 : property && c == ':' ? "%3A"
                 : property && c == ',' ? "%2C"
                                        : std::string(1, c);
        }
        return e;
    };
    for (const Finding& f : findingsOf(check, launcherError)) {
        std::string properties;
        if (!f.file.empty()) {
            properties = " file=" + escaped(f.file, true);
        }
        if (f.line) {
            properties += (properties.empty() ? " line=" : ",line=") + std::to_string(f.line);
        }
        out << "::" << (std::string(f.severity) == "note" ? "notice" : f.severity) << properties
            << "::" << escaped(f.message, false) << "\n";
    }
}
