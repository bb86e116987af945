// The values as the launcher expands them, each exactly one argument, quotes and blanks included.

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "Judging.h"
#include "tstrings.h"

namespace {

// Where an inline comment starts in value ("#" or ";" after a blank), npos when none.
size_t inlineComment(const std::string& value) {
    for (size_t at = 1; at < value.size(); ++at) {
        if ((value[at] == '#' || value[at] == ';') && isBlank(value[at - 1])) {
            return at;
        }
    }
    return std::string::npos;
}

// True for the runtime's own options that an application would hardly take as its arguments.
bool looksLikeRuntimeOption(const std::string& arg) {
    static const char* const prefixes[] = {"-Xmx",          "-Xms",
                                           "-Xss",          "-Xmn",
                                           "-XX:",          "-D",
                                           "-javaagent:",   "-agentlib:",
                                           "-agentpath:",   "--add-opens",
                                           "--add-exports", "--add-reads",
                                           "--add-modules", "--enable-preview",
                                           "--module-path", "--enable-native-access"};
    return std::any_of(std::begin(prefixes), std::end(prefixes),
                       [&](const char* prefix) { return tstrings::startsWith(arg, prefix); });
}

// True for text in a pair of double or single quotes.
bool isQuoted(const std::string& s) {
    return s.size() > 1 && (s[0] == '"' || s[0] == '\'') && s.back() == s[0];
}

// A java-options value in quotes, with quotes in its value, or with more than one argument.
void judgeJavaOption(Findings& f, const std::string& value, size_t line) {
    if (RuntimeOptions::read(value).is(RuntimeOptions::Value::RuntimeHome)) {
        f.fail(line, "java.home is the runtime's own directory, where it reads its own files (its "
                     "security settings, time zones, modules): given another, the runtime fails "
                     "at their first use, or reads another runtime's; remove this line");
        return;
    }
    if (isQuoted(value)) {
        const std::string inner = value.substr(1, value.size() - 2);
        f.warn(line, "java-options value " + quotedText(inner) +
                         " is written in quotes, which reach the runtime as they are; write "
                         "java-options=" +
                         visibleText(inner) + " (each value is one argument, blanks included)");
        return;
    }
    if (value.empty() || value[0] != '-' || inlineComment(value) != std::string::npos) {
        return; // the value's own finding tells what the runtime gets
    }
    const size_t eq = value.find('=');
    if (eq != std::string::npos && isQuoted(value.substr(eq + 1))) {
        const std::string fixed =
            value.substr(0, eq + 1) + value.substr(eq + 2, value.size() - eq - 3);
        f.warn(line, "the quotes in java-options value " + visibleText(value) +
                         " reach the runtime as part of the value; write " + visibleText(fixed) +
                         " (each value is one argument, blanks included)");
        return;
    }
    const size_t blank = std::find_if(value.begin(), value.end(), isBlank) - value.begin();
    if (blank == value.size() || blank + 1 == value.size()) {
        return; // a trailing blank is the line's own finding
    }
    const std::string head = value.substr(0, blank);
    const std::string rest =
        value.substr(std::min(value.find_first_not_of(" \t", blank), value.size()));
    const std::string fix = "; write " + visibleText(head) + " and " + visibleText(rest) +
                            " on java-options lines of their own";
    const std::string text = "java-options value " + quotedText(value);
    if (tstrings::startsWith(head, "-D")) {
        // A property's value may hold blanks; only a runtime option inside it is a mistake.
        if (looksLikeRuntimeOption(rest)) {
            f.warn(line, text + " is one argument: the property gets the value " +
                             quotedText(value.substr(std::min(eq, blank) + 1)) +
                             ", blanks included; if " + quotedText(rest) +
                             " is meant for the runtime" + fix);
        }
    } else if (!rest.empty() && rest[0] == '-' && !tstrings::startsWith(head, "-XX:On")) {
        f.warn(line, text +
                         " holds several options in one argument, which the runtime reads as "
                         "one" +
                         fix);
    } else if (RuntimeOptions::takesNext(head)) {
        f.warn(line, text + " is one argument, which the runtime reads as one option" + fix);
    }
}

// The application's arguments as configured: quotes, and options meant for the runtime.
void judgeArgument(Findings& f, const std::string& value, size_t line) {
    if (isQuoted(value)) {
        f.warn(line, "arguments value " + quotedText(value) +
                         ": the quotes reach the application as they are; write arguments=" +
                         visibleText(value.substr(1, value.size() - 2)) +
                         " (each value is one argument, blanks included)");
    } else if (looksLikeRuntimeOption(value)) {
        f.warn(line, "arguments value " + quotedText(value) +
                         " goes to the application, not the runtime: arguments follow the main "
                         "class; if the runtime should get it, write java-options=" +
                         visibleText(value) + " in [JavaOptions]");
    }
}

// What is to start, and whether the runtime looks for it in the bundle.
void judgeMain(Findings& f) {
    const CfgFile::Values* mainClass = f.values(SectionName::Application, PropertyName::mainclass);
    const CfgFile::Values* options = f.values(SectionName::JavaOptions, PropertyName::javaOptions);
    const bool classPathGiven =
        f.values(SectionName::Application, PropertyName::classpath) ||
        (options && std::any_of(options->begin(), options->end(), [](const std::string& o) {
             return RuntimeOptions::read(o).is(RuntimeOptions::Value::ClassPath);
         }));

    if (mainClass && !classPathGiven &&
        !f.values(SectionName::Application, PropertyName::mainmodule)) {
        f.warn(f.lastLineOf(PropertyName::mainclass),
               "there is no class path: the runtime looks for " + quotedText(mainClass->back()) +
                   " in the working directory at launch (or along CLASSPATH), not in the "
                   "bundle; add app.classpath=$APPDIR/<jar>");
    }
    if (mainClass || f.values(SectionName::Application, PropertyName::mainjar) ||
        f.values(SectionName::Application, PropertyName::mainmodule)) {
        return;
    }
    std::string first;
    for (size_t i = 1; f.rec.launch && first.empty() && i < f.rec.launch->args.size(); ++i) {
        const std::optional<ValueRef>& origin = f.originOf(i);
        if (origin && origin->section == SectionName::ArgOptions) {
            first = " (here " + quotedText(f.rec.launch->args[i]) + ")";
        }
    }
    f.warn(f.lines.headerLineOf(SectionName::Application),
           "no app.mainclass, app.mainjar or app.mainmodule in [Application]: the runtime takes "
           "the first argument as the main class" +
               first);
}

bool isUpperName(const std::string& s) {
    return !s.empty() && !std::isdigit(static_cast<unsigned char>(s[0])) &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) {
               return std::isupper(c) || std::isdigit(c) || c == '_';
           });
}

// The first reference in value that another syntax would expand and this launcher does not:
// the text as written and the advice; both "" when there is none.
std::pair<std::string, std::string> foreignReference(const std::string& value) {
    for (size_t at = 0; at < value.size(); ++at) {
        const char c = value[at];
        const char next = at + 1 < value.size() ? value[at + 1] : '\0';
        if (c == '$' && next == '(') {
            const size_t close = value.find(')', at);
            const std::string name =
                close == std::string::npos ? "" : value.substr(at + 2, close - at - 2);
            return {value.substr(at, close == std::string::npos ? close : close - at + 1),
                    "only $NAME and ${NAME} are expanded" +
                        (name.empty() ? "" : "; write ${" + visibleText(name) + "}")};
        }
        if (c == '$' && (next == '@' || next == '*')) {
            return {value.substr(at, 2), "no shell reads the configuration; the arguments the "
                                         "launcher is started with replace the configured ones "
                                         "without it"};
        }
        if (c == '%' && next == '~') {
            const size_t end = std::find_if_not(value.begin() + at + 2, value.end(),
                                                [](unsigned char l) { return std::isalpha(l); }) -
                               value.begin();
            return {value.substr(at, end + 1 - at),
                    "it is a batch file's own directory; write $APPDIR/ (or $BINDIR/)"};
        }
        const size_t close = c == '%' ? value.find('%', at + 1) : std::string::npos;
        const std::string name =
            close == std::string::npos ? "" : value.substr(at + 1, close - at - 1);
        if (isUpperName(name)) {
            return {value.substr(at, close - at + 1),
                    "only $NAME and ${NAME} are expanded; write ${" + name + "}"};
        }
    }
    return {};
}

void judgeExpansion(Findings& f) {
    const LaunchRecord::Start& start = f.rec.start;
    for (const LaunchRecord::Expansion::Unresolved& u : f.rec.expansion->unresolved) {
        const size_t line = f.lineOf(u.value);
        const std::string what = quotedText(u.reference) + " in " + u.value.property.name();
        // "Works from Terminal, not when double-clicked"; a failure where the launch needs it.
        const bool shellOnly = start.doubleClick && start.shell.count(u.name);
        const CfgFile::PropertyId& p = u.value.property;
        f.add(line,
              shellOnly ? what + " stays as written when the bundle is double-clicked: " +
                              quotedText(u.name) +
                              " is set in this shell, but a double-click starts the launcher "
                              "with launchd's environment; give it in Info.plist's "
                              "LSEnvironment (make-bundle -p) or write the value with a macro "
                              "such as $APPDIR"
                        : what + " stays as written: there is no macro or environment variable " +
                              quotedText(u.name),
              shellOnly && (p == PropertyName::classpath || p == PropertyName::modulepath ||
                            p == PropertyName::mainjar || p == PropertyName::runtime));
    }
    // A variable that a double-click gets otherwise than the shell shows it.
    std::set<std::string> said;
    for (const auto& r : f.rec.expansion->fromEnvironment) {
        const std::string& name = r.second;
        const auto shell = start.shell.find(name);
        const std::string prefix = name + "=";
        const auto own =
            std::find_if(start.env.begin(), start.env.end(),
                         [&](const std::string& e) { return tstrings::startsWith(e, prefix); });
        const size_t line = f.lineOf(r.first);
        if (!start.doubleClick || own == start.env.end() ||
            (shell != start.shell.end() && shell->second == own->substr(prefix.size())) ||
            !said.insert(name + "\n" + std::to_string(line)).second) {
            continue;
        }
        f.warn(line, quotedText("$" + name) + " in " + r.first.property.name() + " is " +
                         quotedText(own->substr(prefix.size())) +
                         " when the bundle is double-clicked, " +
                         (shell == start.shell.end()
                              ? std::string("but this shell has no ") + name +
                                    ": started from it, the reference stays as written"
                              : "but " + quotedText(shell->second) +
                                    " in this shell; to give the shell's value on a "
                                    "double-click, set it in Info.plist's LSEnvironment "
                                    "(make-bundle -p)"));
    }
    for (const ValueRef& v : f.rec.expansion->unclosed) {
        f.warn(f.lineOf(v), "\"${\" without \"}\" in " + std::string(v.property.name()) +
                                ": the rest of the value is not expanded");
    }
}

// A java-options value (with the next one where it takes that) given again to the same effect.
void judgeRepeated(Findings& f) {
    const std::vector<std::string>& args = f.rec.launch->args;
    std::map<std::string, size_t> first;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::optional<ValueRef>& origin = f.originOf(i);
        if (!origin || !(origin->section == SectionName::JavaOptions)) {
            continue;
        }
        const RuntimeOptions::Match option = RuntimeOptions::read(args[i]);
        const bool pair = option.next && i + 1 < args.size() && f.originOf(i + 1);
        const std::string given = pair ? args[i] + " " + args[i + 1] : args[i];
        const size_t line = f.lineOf(*f.originOf(pair ? i + 1 : i));
        i += pair ? 1 : 0;
        if ((option.option && option.option->once) || !RuntimeOptions::setting(given).empty()) {
            continue;
        }
        const auto known = first.emplace(given, line);
        if (known.second) {
            continue;
        }
        f.warn(line, quotedText(given) + " is given again (line " +
                         std::to_string(known.first->second) + "): " +
                         (option.is(RuntimeOptions::Value::Agent)
                              ? "the runtime starts the agent once for each, so it runs twice"
                              : "the runtime takes both, to the effect of one") +
                         "; drop one of the lines");
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
    judgeMain(f);
    if (f.rec.launch) {
        judgeRepeated(f);
    }
    for (const CfgFile::SectionId* section : SectionName::all) {
        for (const CfgFile::PropertyMap::value_type& p : f.rec.expanded->getProperties(*section)) {
            for (size_t i = 0; i != p.second.size(); ++i) {
                const std::string& value = p.second[i];
                const size_t line = f.lines.lineOf(*section, p.first, i);
                const auto [reference, advice] = foreignReference(value);
                if (!reference.empty()) {
                    f.warn(line, quotedText(reference) + " in " + p.first.name() +
                                     " stays as written: " + advice);
                }
                // The application's own arguments may hold anything.
                const size_t comment =
                    *section == SectionName::ArgOptions ? std::string::npos : inlineComment(value);
                if (comment != std::string::npos) {
                    const std::string kept =
                        value.substr(0, value.find_last_not_of(" \t", comment - 1) + 1);
                    f.warn(line, quotedText(value.substr(comment)) + " after the value of " +
                                     p.first.name() +
                                     " is an inline comment, which the launcher keeps as part "
                                     "of the value: the runtime gets " +
                                     quotedText(value) + "; end the value at " + quotedText(kept) +
                                     " and move the comment to a line of its own that starts "
                                     "with \";\"");
                }
                if (*section == SectionName::JavaOptions && p.first == PropertyName::javaOptions) {
                    judgeJavaOption(f, value, line);
                } else if (*section == SectionName::ArgOptions && !f.rec.argsReplaced) {
                    judgeArgument(f, value, line);
                }
            }
        }
    }
}
