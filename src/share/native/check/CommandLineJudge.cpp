// What the runtime made of the argument vector, as its trial start lists it: a launch that goes
// on otherwise than the configuration means shows here.

#include <algorithm>

#include "Judging.h"

namespace {

// What the runtime starts (the argument at started) against what the configuration names.
void judgeStarted(Findings& f, size_t started) {
    const std::vector<std::string>& args = f.rec.launch->args;
    const std::optional<ValueRef>& main = f.originOf(started);
    if (main && main->section == SectionName::JavaOptions && f.originOf(started - 1) &&
        RuntimeOptions::takesNext(args[started - 1]) &&
        RuntimeOptions::read(args[started - 1]).is(RuntimeOptions::Value::Started)) {
        // The launcher's own arguments come after the options: the jar or module gets them.
        size_t own = started + 1;
        while (own < args.size() && f.originOf(own)) {
            ++own;
        }
        const bool jar = args[started - 1] == "-jar";
        f.warn(f.lineOf(*main),
               "java-options " + quotedText(args[started - 1]) + " and " +
                   quotedText(args[started]) + " start the " + (jar ? "jar" : "module") +
                   ": the application gets what follows as its arguments" +
                   (own < args.size() ? ", the launcher's " + quotedText(args[own]) + " among them,"
                                      : std::string()) +
                   " and the property vorlane.app-path is not set; name it with " +
                   (jar ? "app.mainjar" : "app.mainmodule") + " instead");
        return;
    }
    if (!main || !(main->section == SectionName::Application)) {
        return;
    }
    for (size_t i = started + 1; i < args.size(); ++i) {
        const std::optional<ValueRef>& origin = f.originOf(i);
        if (!origin || !(origin->section == SectionName::Application)) {
            continue;
        }
        // "-jar" or "-m", the launcher's own, goes with it.
        const std::string given = !f.originOf(i - 1) && i - 1 > started
                                      ? quotedText(args[i - 1]) + " and " + quotedText(args[i])
                                      : quotedText(args[i]);
        f.warn(f.lineOf(*origin), std::string(origin->property.name()) +
                                      " is not what the runtime starts: it starts " +
                                      main->property.name() + " and hands " + given +
                                      " to the application as arguments; keep only one of "
                                      "app.mainclass, app.mainjar and app.mainmodule");
    }
}

// Each class path (or module path) given ahead of what is started, against the one the runtime
// lists: only the last counts, and none under -jar.
void judgePaths(Findings& f, size_t started, bool classPath) {
    const std::vector<std::string>& args = f.rec.launch->args;
    const std::vector<std::string>* counted =
        f.property(classPath ? "java.class.path" : "jdk.module.path");
    if (!counted) {
        return;
    }
    const std::string what = classPath ? "class path" : "module path";
    using Given = Findings::GivenPath;
    const std::vector<Given> given = f.pathsGiven(
        classPath ? RuntimeOptions::Value::ClassPath : RuntimeOptions::Value::ModulePath, started);
    if (classPath && args[started - 1] == "-jar" &&
        *counted == std::vector<std::string>{args[started]}) {
        for (const Given& g : given) {
            f.warn(g.line, std::string(g.name) +
                               " is ignored: with -jar the runtime takes classes only from "
                               "the main jar and the jars its manifest's Class-Path names; "
                               "list them there, or start app.mainclass with the jar on "
                               "app.classpath");
        }
        return;
    }
    // The one that counts is the last the runtime lists; none for a "dir/*" that it expanded.
    const auto counts = std::find_if(given.rbegin(), given.rend(), [&](const Given& g) {
        return entriesOf(g.value) == entriesOf(*counted);
    });
    for (auto g = given.begin(); counts != given.rend() && g != given.end(); ++g) {
        if (entriesOf(g->value) != entriesOf(counts->value)) {
            f.warn(g->line, "the " + what + " " + quotedText(g->value) +
                                " is ignored: the runtime uses only the last " + what +
                                " it is given (" + quotedText(counts->value) + ", line " +
                                std::to_string(counts->line) +
                                "); join the entries with \":\" in one value");
        }
    }
}

} // namespace

void judgeCommandLine(Findings& f) {
    const std::vector<std::string>* command = f.property("sun.java.command");
    if (!f.rec.launch || !command || command->size() != 1) {
        return;
    }
    // What the runtime starts is the argument that sun.java.command begins with.
    const std::vector<std::string>& args = f.rec.launch->args;
    std::string tail;
    for (size_t started = args.size(); started-- > 1;) {
        tail = args[started] + (started + 1 < args.size() ? " " + tail : std::string());
        if (tail == command->front()) {
            judgeStarted(f, started);
            judgePaths(f, started, true);
            judgePaths(f, started, false);
            return;
        }
    }
}
