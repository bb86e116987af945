// What the runtime changes without a word, as further trial starts show: an option given again,
// a -XX option it ignores on request, a property it sets itself, an archive it cannot use.

#include <algorithm>
#include <set>
#include <sstream>

#include "Experiments.h"
#include "Judging.h"
#include "tstrings.h"

namespace {

typedef std::map<std::string, std::string> Flags;

// The final flags that -XX:+PrintFlagsFinal lists: "<type> <name> = <value> {<kinds>}".
Flags flagsOf(const LaunchRecord::Trial& trial) {
    Flags flags;
    for (const std::string& line : trial.said) {
        std::istringstream in(line);
        std::string type, name, eq, word, value;
        // Where the class-data archive was mapped may differ from one start to the next.
        if (in >> type >> name >> eq && eq == "=" && name != "SharedBaseAddress") {
            while (in >> word && word[0] != '{') {
                value += (value.empty() ? "" : " ") + word;
            }
            flags[name] = value;
        }
    }
    return flags;
}

// Properties that the runtime sets itself but that are there to be set.
bool isMeantToBeSet(const std::string& name) {
    static const char* const names[] = {
        "user.language",   "user.country",   "user.region",       "user.script",
        "user.variant",    "java.io.tmpdir", "java.library.path", "stdout.encoding",
        "stderr.encoding", "stdin.encoding",
    };
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

class SilentJudge {
public:
    SilentJudge(Findings& f, const Experiments::Start& start) : f(f), start(start) {
        const std::vector<std::string>& args = f.rec.launch->args;
        for (size_t i = 1; i < args.size(); ++i) {
            const std::optional<ValueRef>& origin = f.originOf(i);
            // An option's value (the class path after -cp) is no option of its own.
            if (origin && origin->section == SectionName::JavaOptions &&
                !RuntimeOptions::takesNext(args[i - 1]) && tstrings::startsWith(args[i], "-")) {
                options.push_back({f.lineOf(*origin), args[i]});
            }
        }
    }

    void run() {
        // Only a -XX option, a property or an option given again asks for further starts.
        std::set<std::string> settings;
        std::vector<size_t> properties;
        bool asks = false;
        // Unknown -XX options stop the runtime, unless it is told to ignore them.
        std::string ignoring;
        for (const auto& o : options) {
            if (o.second == "-XX:+IgnoreUnrecognizedVMOptions") {
                ignoring = o.second + ", line " + std::to_string(o.first);
            }
            const std::string setting = RuntimeOptions::setting(o.second);
            asks = asks || tstrings::startsWith(setting, "-XX:") ||
                   tstrings::startsWith(setting, "-D") ||
                   (!setting.empty() && !settings.insert(setting).second);
            if (tstrings::startsWith(setting, "-D")) {
                properties.push_back(o.first);
            }
        }
        // The flags, and the properties as the runtime sets them without any -D line.
        const LaunchRecord::Trial base =
            asks ? probe(properties, "-XX:+PrintFlagsFinal") : LaunchRecord::Trial();
        const Flags flags = base.missing.empty() && base.status == 0 ? flagsOf(base) : Flags();
        judgeProperties(flags.empty() ? nullptr : &base);
        if (flags.empty()) {
            return;
        }
        judgeAgain(properties, flags);
        for (const auto& o : options) {
            const std::string setting = RuntimeOptions::setting(o.second);
            if (!ignoring.empty() && tstrings::startsWith(setting, "-XX:") &&
                !flags.count(setting.substr(4))) {
                f.warn(o.first, "the runtime does not know " + quotedText(o.second) +
                                    " and ignores it without a word (" + ignoring + ")");
            } else if (RuntimeOptions::read(o.second).is(RuntimeOptions::Value::Archive)) {
                // After the options, where no -Xshare of theirs overrides it.
                const LaunchRecord::Trial on = probe({}, "-Xshare:on", true);
                if (on.missing.empty() && on.status != 0) {
                    f.warn(o.first, "the runtime cannot use this class-data archive and starts "
                                    "without class sharing, not even with its own archive, "
                                    "without a word; with -Xshare:on it says " +
                                        quotedLines(on.said));
                }
            }
        }
    }

private:
    // The launch without the lines, with option ahead of its own (or after them), tried.
    LaunchRecord::Trial probe(const std::vector<size_t>& lines, const std::string& option,
                              bool last = false) {
        const auto lineOf = [this](const ValueRef& v) { return f.lineOf(v); };
        return start(
            Experiments::with(Experiments::without(*f.rec.launch, lines, lineOf), {option}, last),
            Experiments::kMaxSeconds);
    }

    // An option given again: the earlier line does nothing when the runtime ends with the same
    // flags without it (and with the later property's value).
    void judgeAgain(const std::vector<size_t>& properties, const Flags& flags) {
        std::map<std::string, size_t> last;
        for (auto o = options.rbegin(); o != options.rend(); ++o) {
            const std::string setting = RuntimeOptions::setting(o->second);
            const auto later = last.emplace(setting, o->first);
            if (setting.empty() || later.second) {
                continue;
            }
            std::vector<size_t> lines = properties;
            lines.push_back(o->first);
            if (tstrings::startsWith(setting, "-D") ||
                flagsOf(probe(lines, "-XX:+PrintFlagsFinal")) == flags) {
                f.warn(o->first, quotedText(o->second) + " does nothing: line " +
                                     std::to_string(later.first->second) + " gives " + setting +
                                     " again, and the runtime takes the later one");
            }
        }
    }

    // The last -D of each property: held by the runtime with another value, the application
    // never sees it; where the runtime sets it itself (base: without -D lines), it replaces that.
    void judgeProperties(const LaunchRecord::Trial* base) {
        std::map<std::string, std::pair<size_t, std::string>> given;
        for (const auto& o : options) {
            const size_t eq = o.second.find('=');
            if (tstrings::startsWith(o.second, "-D")) {
                given[o.second.substr(2, eq - 2)] = {
                    o.first, eq == std::string::npos ? "" : o.second.substr(eq + 1)};
            }
        }
        for (const auto& g : given) {
            const auto it = f.rec.trial->properties.find(g.first);
            const std::string& value = g.second.second;
            // Values that the listing writes with escapes, or did not keep whole, are not compared.
            if (it == f.rec.trial->properties.end() || f.rec.trial->partial.count(g.first) ||
                RuntimeOptions::read("-D" + g.first + "=").is(RuntimeOptions::Value::RuntimeHome) ||
                std::any_of(value.begin(), value.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
                continue;
            }
            const std::string shown = tstrings::join(it->second, ":");
            const bool pathList = it->second.size() > 1 || tstrings::endsWith(g.first, ".path") ||
                                  tstrings::endsWith(g.first, ".dirs");
            const auto own = base ? base->properties.find(g.first) : it;
            if (pathList ? entriesOf(value) != entriesOf(it->second) : value != shown) {
                f.warn(g.second.first, "the runtime sets " + g.first + " to " + quotedText(shown) +
                                           ", not to the " + quotedText(value) +
                                           " given here: the application never sees it");
            } else if (base && own != base->properties.end() && own->second != it->second &&
                       !isMeantToBeSet(g.first)) {
                f.warn(g.second.first,
                       quotedText("-D" + g.first + "=" + value) +
                           " replaces a property the runtime sets itself (" +
                           quotedText(tstrings::join(own->second, ":")) +
                           " here): the runtime and the libraries that read it get the value "
                           "given instead");
            }
        }
    }

    Findings& f;
    const Experiments::Start& start;
    std::vector<std::pair<size_t, std::string>> options; // line, argument
};

} // namespace

void judgeSilent(Findings& f, const Experiments::Start& start) {
    SilentJudge(f, start).run();
}
