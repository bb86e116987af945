// The values as the launcher expands them: references left as written, and the syntaxes of
// shells, batch files and other launchers, which the launcher does not know.

#include <cctype>

#include "Judging.h"

namespace {

bool isUpperName(const std::string& s) {
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) {
        return false;
    }
    for (const char c : s) {
        if (!std::isupper(static_cast<unsigned char>(c)) &&
            !std::isdigit(static_cast<unsigned char>(c)) && c != '_') {
            return false;
        }
    }
    return true;
}

// The first reference in value that another syntax would expand and this launcher does not:
// the text as written and the advice; false when there is none.
bool foreignReference(const std::string& value, std::string& reference, std::string& advice) {
    for (size_t at = 0; at < value.size(); ++at) {
        const char c = value[at];
        const char next = at + 1 < value.size() ? value[at + 1] : '\0';
        if (c == '$' && next == '(') {
            const size_t close = value.find(')', at);
            reference = value.substr(at, close == std::string::npos ? close : close - at + 1);
            const std::string name =
                close == std::string::npos ? "" : value.substr(at + 2, close - at - 2);
            advice = "only $NAME and ${NAME} are expanded";
            if (!name.empty()) {
                advice += "; write ${" + visibleText(name) + "}";
            }
            return true;
        }
        if (c == '$' && (next == '@' || next == '*')) {
            reference = value.substr(at, 2);
            advice = "no shell reads the configuration; the arguments the launcher is started "
                     "with replace the configured ones without it";
            return true;
        }
        if (c == '%' && next == '~') {
            size_t end = at + 2;
            while (end < value.size() && std::isalpha(static_cast<unsigned char>(value[end]))) {
                ++end;
            }
            reference = value.substr(at, end + 1 - at);
            advice = "it is a batch file's own directory; write $APPDIR/ (or $BINDIR/)";
            return true;
        }
        const size_t close = c == '%' ? value.find('%', at + 1) : std::string::npos;
        if (close != std::string::npos && isUpperName(value.substr(at + 1, close - at - 1))) {
            reference = value.substr(at, close - at + 1);
            advice = "only $NAME and ${NAME} are expanded; write ${" +
                     value.substr(at + 1, close - at - 1) + "}";
            return true;
        }
    }
    return false;
}

// True for the properties without whose files the launch certainly fails.
bool namesWhatStarts(const CfgFile::PropertyId& p) {
    return p == PropertyName::classpath || p == PropertyName::modulepath ||
           p == PropertyName::mainjar || p == PropertyName::runtime;
}

void judgeExpansion(Findings& f) {
    const LaunchRecord::Start& start = f.rec.start;
    for (const LaunchRecord::Expansion::Unresolved& u : f.rec.expansion->unresolved) {
        const size_t line = f.lineOf(u.value);
        const std::string what = quotedText(u.reference) + " in " + u.value.property.name();
        if (start.doubleClick && start.shell.count(u.name)) {
            // "Works from Terminal, not when double-clicked".
            const std::string text =
                what +
                " stays as written when the bundle is double-clicked: " + quotedText(u.name) +
                " is set in this shell, but a double-click starts the launcher with launchd's "
                "environment; give it in Info.plist's LSEnvironment (make-bundle -p) or write "
                "the value with a macro such as $APPDIR";
            if (namesWhatStarts(u.value.property)) {
                f.fail(line, text);
            } else {
                f.warn(line, text);
            }
            continue;
        }
        f.warn(line, what + " stays as written: there is no macro or environment variable " +
                         quotedText(u.name));
    }
    for (const ValueRef& v : f.rec.expansion->unclosed) {
        f.warn(f.lineOf(v), "\"${\" without \"}\" in " + std::string(v.property.name()) +
                                ": the rest of the value is not expanded");
    }
}

} // namespace

void judgeValues(Findings& f) {
    if (f.rec.expansion) {
        judgeExpansion(f);
    }
    if (!f.rec.expanded) {
        return;
    }
    for (const CfgFile::SectionId* section : SectionName::all) {
        for (const CfgFile::PropertyMap::value_type& p : f.rec.expanded->getProperties(*section)) {
            for (size_t i = 0; i != p.second.size(); ++i) {
                const std::string& value = p.second[i];
                const size_t line = f.lines.lineOf(*section, p.first, i);
                std::string reference, advice;
                if (foreignReference(value, reference, advice)) {
                    f.warn(line, quotedText(reference) + " in " + p.first.name() +
                                     " stays as written: " + advice);
                }
                // The application's own arguments may hold anything; what reaches the runtime
                // may not.
                const size_t comment =
                    *section == SectionName::ArgOptions ? std::string::npos : inlineComment(value);
                if (comment != std::string::npos) {
                    std::string kept = value.substr(0, comment);
                    while (!kept.empty() && isBlank(kept.back())) {
                        kept.pop_back();
                    }
                    f.warn(line, quotedText(value.substr(comment)) + " after the value of " +
                                     p.first.name() +
                                     " is an inline comment, which the launcher keeps as part "
                                     "of the value: the runtime gets " +
                                     quotedText(value) + "; end the value at " + quotedText(kept) +
                                     " and move the comment to a line of its own that starts "
                                     "with \";\"");
                }
            }
        }
    }
}
