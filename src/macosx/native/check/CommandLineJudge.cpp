// The argument vector as the runtime reads it: its options, what it starts, and what it hands
// to the application.

#include <algorithm>

#include "Judging.h"
#include "tstrings.h"

namespace {

// True for text in a pair of double or single quotes.
bool isQuoted(const std::string& s) {
    return s.size() > 1 && (s[0] == '"' || s[0] == '\'') && s.back() == s[0];
}

// Options whose value the runtime reads as a size: blanks make it invalid.
bool isSizeOption(const std::string& head) {
    return tstrings::startsWith(head, "-Xmx") || tstrings::startsWith(head, "-Xms") ||
           tstrings::startsWith(head, "-Xss") || tstrings::startsWith(head, "-Xmn");
}

class CommandLineJudge {
public:
    explicit CommandLineJudge(Findings& f) : f(f), args(f.rec.launch->args), cmd(f.cmd) {}

    void run() {
        // Each value of java-options is exactly one argument.
        for (size_t i = 1; i < args.size(); ++i) {
            const std::optional<ValueRef>& origin = f.originOf(i);
            if (!origin || !(origin->section == SectionName::JavaOptions)) {
                continue;
            }
            if (cmd.roles[i] == JavaCommandLine::MAIN) {
                judgeStartedOption(i, f.lineOf(*origin));
            } else if (cmd.roles[i] == JavaCommandLine::OPTION) {
                judgeJavaOption(args[i], f.lineOf(*origin));
                judgeOptionValue(i, f.lineOf(*origin));
            }
        }
        judgeApplicationArgs();
        const std::optional<ValueRef>& main = f.originOf(cmd.mainIndex);
        if (cmd.mode == JavaCommandLine::CLASS && cmd.classPaths.empty() && main &&
            main->section == SectionName::Application) {
            f.warn(f.lineOf(*main), "there is no class path: the runtime looks for " +
                                        quotedText(args[cmd.mainIndex]) +
                                        " in the working directory at launch (or along "
                                        "CLASSPATH), not in the bundle; add "
                                        "app.classpath=$APPDIR/<jar>");
        }
        judgeRepeated(cmd.classPaths, "class path");
        judgeRepeated(cmd.modulePaths, "module path");
        if (cmd.mode == JavaCommandLine::JAR && !cmd.classPaths.empty()) {
            const std::optional<ValueRef>& origin = f.originOf(cmd.classPaths.back().index);
            if (origin) {
                f.warn(f.lineOf(*origin),
                       std::string(origin->property.name()) +
                           " is ignored: with -jar the runtime takes classes only from the main "
                           "jar and the jars its manifest's Class-Path names; list them there, or "
                           "start app.mainclass with the jar on app.classpath");
            }
        }
    }

private:
    // What follows the main class, jar or module goes to the application.
    void judgeApplicationArgs() {
        const std::optional<ValueRef>& main = f.originOf(cmd.mainIndex);
        for (size_t i = cmd.appArgsIndex; i < args.size(); ++i) {
            const std::optional<ValueRef>& origin = f.originOf(i);
            if (!origin) {
                continue;
            }
            const size_t line = f.lineOf(*origin);
            if (origin->section == SectionName::Application && main &&
                main->section == SectionName::Application) {
                const std::string given =
                    i > 0 && !f.originOf(i - 1) && i - 1 >= cmd.appArgsIndex
                        ? quotedText(args[i - 1]) + " and " + quotedText(args[i])
                        : quotedText(args[i]);
                f.warn(line, std::string(origin->property.name()) +
                                 " is not what the runtime starts: it starts " +
                                 main->property.name() + " and hands " + given +
                                 " to the application as arguments; keep only one of "
                                 "app.mainclass, app.mainjar and app.mainmodule");
            } else if (origin->section == SectionName::ArgOptions && !f.rec.argsReplaced &&
                       isQuoted(args[i])) {
                f.warn(line, "arguments value " + quotedText(args[i]) +
                                 ": the quotes reach the application as they are; write "
                                 "arguments=" +
                                 visibleText(args[i].substr(1, args[i].size() - 2)) +
                                 " (each value is one argument, blanks included)");
            } else if (origin->section == SectionName::ArgOptions && !f.rec.argsReplaced &&
                       looksLikeRuntimeOption(args[i])) {
                f.warn(line, "arguments value " + quotedText(args[i]) +
                                 " goes to the application, not the runtime: arguments follow "
                                 "the main class; if the runtime should get it, write "
                                 "java-options=" +
                                 visibleText(args[i]) + " in [JavaOptions]");
            }
        }
    }

    // Only the last class path or module path option counts.
    void judgeRepeated(const std::vector<JavaCommandLine::PathOption>& paths,
                       const std::string& what) {
        for (size_t k = 0; k + 1 < paths.size(); ++k) {
            const std::optional<ValueRef>& origin = f.originOf(paths[k].index);
            if (!origin) {
                continue;
            }
            const std::optional<ValueRef>& later = f.originOf(paths.back().index);
            f.warn(f.lineOf(*origin),
                   "the " + what + " " + quotedText(paths[k].value) +
                       " is ignored: the runtime uses only the last " + what + " it is given (" +
                       quotedText(paths.back().value) +
                       (later ? ", line " + std::to_string(f.lineOf(*later)) : std::string()) +
                       "); join the entries with \":\" in one value");
        }
    }

    // An option that takes the next argument as its value must get it from the next line of
    // java-options, not from what the launcher adds after them.
    void judgeOptionValue(size_t i, size_t line) {
        if (!JavaCommandLine::takesValue(args[i]) || i + 1 >= args.size()) {
            return;
        }
        const std::optional<ValueRef>& next = f.originOf(i + 1);
        if (next && next->section == SectionName::JavaOptions) {
            return;
        }
        f.warn(line, "java-options value " + quotedText(args[i]) +
                         " takes the next argument as its value, which here is " +
                         quotedText(args[i + 1]) +
                         ", not a java-options line; put its value on the java-options line "
                         "right after it");
    }

    // A java-options value that the runtime takes for what to start.
    void judgeStartedOption(size_t i, size_t line) {
        const std::string& value = args[i];
        if (i > 1 && (args[i - 1] == "-jar" || args[i - 1] == "-m" || args[i - 1] == "--module")) {
            // Started from java-options, the jar or module takes what the launcher adds after the
            // options as the application's arguments.
            size_t own = i + 1;
            while (own < args.size() && f.originOf(own)) {
                ++own;
            }
            f.warn(line, "java-options " + quotedText(args[i - 1]) + " and " + quotedText(value) +
                             " start the " + (args[i - 1] == "-jar" ? "jar" : "module") +
                             ": the application gets what follows as its arguments" +
                             (own < args.size()
                                  ? ", the launcher's " + quotedText(args[own]) + " among them,"
                                  : std::string()) +
                             " and the property vorlane.app-path is not set; name it with " +
                             (args[i - 1] == "-jar" ? "app.mainjar" : "app.mainmodule") +
                             " instead");
            return;
        }
        if (isQuoted(value)) {
            const std::string inner = value.substr(1, value.size() - 2);
            f.foresee(line, "java-options value " + quotedText(inner) +
                                " is written in quotes, which reach the runtime as they are: it "
                                "takes the value for the main class and fails; write "
                                "java-options=" +
                                visibleText(inner) +
                                " (each value is one argument, blanks included)");
            return;
        }
        f.foresee(line, "java-options value " + quotedText(value) +
                            " is not an option (it does not start with \"-\"): the runtime takes "
                            "it for the main class and fails");
    }

    void judgeJavaOption(const std::string& value, size_t line) {
        if (inlineComment(value) != std::string::npos) {
            return; // the value's own finding tells what the runtime gets
        }
        const size_t eq = value.find('=');
        if (eq != std::string::npos && eq + 2 < value.size() &&
            (value[eq + 1] == '"' || value[eq + 1] == '\'') && value.back() == value[eq + 1]) {
            const std::string fixed =
                value.substr(0, eq + 1) + value.substr(eq + 2, value.size() - eq - 3);
            f.warn(line, "the quotes in java-options value " + visibleText(value) +
                             " reach the runtime as part of the value; write " +
                             visibleText(fixed) + " (each value is one argument, blanks included)");
            return;
        }
        const size_t blank = std::find_if(value.begin(), value.end(), isBlank) - value.begin();
        if (blank == value.size() || blank + 1 == value.size()) {
            return; // a trailing blank is the line's own finding
        }
        const std::string head = value.substr(0, blank);
        std::string rest = value.substr(blank + 1);
        rest.erase(0, std::find_if_not(rest.begin(), rest.end(), isBlank) - rest.begin());
        const std::string fix = "; write " + visibleText(head) + " and " + visibleText(rest) +
                                " on java-options lines of their own";
        if (JavaCommandLine::takesValue(head)) {
            f.foresee(line, "java-options value " + quotedText(value) +
                                " is one argument: the runtime does not know the option as a "
                                "whole and fails" +
                                fix);
        } else if (tstrings::startsWith(head, "-D")) {
            // A property's value may hold blanks; only a runtime option inside it is a mistake.
            if (looksLikeRuntimeOption(rest)) {
                f.warn(line, "java-options value " + quotedText(value) +
                                 " is one argument: the property gets the value " +
                                 quotedText(value.substr(std::min(value.find('='), blank) + 1)) +
                                 ", blanks included; if " + quotedText(rest) +
                                 " is meant for the runtime" + fix);
            }
        } else if (!rest.empty() && rest[0] == '-' && !tstrings::startsWith(head, "-XX:On")) {
            const std::string text = "java-options value " + quotedText(value) +
                                     " holds several options in one argument, which the "
                                     "runtime reads as one";
            if (isSizeOption(head) || tstrings::startsWith(head, "-XX:+") ||
                tstrings::startsWith(head, "-XX:-")) {
                f.foresee(line, text + " and rejects" + fix);
            } else {
                f.warn(line, text + fix);
            }
        } else if (isSizeOption(head)) {
            f.foresee(line, "java-options value " + quotedText(value) +
                                " has a blank in its size: the runtime rejects it; write " +
                                visibleText(head) + visibleText(rest));
        }
    }

    Findings& f;
    const std::vector<std::string>& args;
    const JavaCommandLine& cmd;
};

// Without a main class, jar or module the runtime takes the first argument for the class.
void judgeMainNamed(Findings& f) {
    const CfgFile::PropertyMap& app = f.rec.expanded->getProperties(SectionName::Application);
    if (app.count(PropertyName::mainclass) || app.count(PropertyName::mainjar) ||
        app.count(PropertyName::mainmodule)) {
        return;
    }
    std::string first;
    if (f.cmd.mode == JavaCommandLine::CLASS) {
        first = f.rec.launch->args[f.cmd.mainIndex];
    }
    f.warn(f.lines.headerLineOf(SectionName::Application),
           "no app.mainclass, app.mainjar or app.mainmodule in [Application]: the runtime takes "
           "the first argument as the main class" +
               (first.empty() ? std::string() : " (here " + quotedText(first) + ")"));
}

} // namespace

void judgeCommandLine(Findings& f) {
    if (f.rec.expanded) {
        judgeMainNamed(f);
    }
    if (f.rec.launch) {
        CommandLineJudge(f).run();
    }
}
