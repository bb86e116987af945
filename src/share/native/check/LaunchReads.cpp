#include "LaunchReads.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "FileUtils.h"
#include "JarManifest.h"
#include "Judging.h"
#include "JvmLauncher.h"
#include "RuntimeOptions.h"
#include "tstrings.h"

std::string LaunchReads::realPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    const std::string result = real ? real : "";
    std::free(real);
    return result;
}

bool LaunchReads::isWithin(const std::string& path, const std::string& dir) {
    return !path.empty() && !dir.empty() && (path == dir || tstrings::startsWith(path, dir + "/"));
}

namespace {

using LaunchReads::isWithin;
using LaunchReads::realPath;
using RuntimeOptions::Value;

// The absolute path without "." and ".." components, links left as they are.
std::string normalized(const std::string& path) {
    std::vector<std::string> parts;
    for (size_t start = 0; start < path.size();) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part == ".." && !parts.empty()) {
            parts.pop_back();
        } else if (!part.empty() && part != "." && part != "..") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return "/" + tstrings::join(parts, "/");
}

// True when path (existing or not) lies below the directory root once links are resolved.
bool isInside(const std::string& path, const std::string& root) {
    const std::string real = realPath(path);
    return normalized(root) != "/" && (real.empty() ? isWithin(normalized(path), normalized(root))
                                                    : isWithin(real, realPath(root)));
}

// A relative path counts from the start's working directory, as the runtime takes it.
std::string absolute(const LaunchRecord& rec, const std::string& path) {
    return normalized(
        path.empty() || path[0] == '/' ? path : FileUtils::combinePath(rec.start.workDir, path));
}

// The launch's arguments read one by one up to what the runtime starts.
class Walk {
public:
    Walk(const LaunchRecord& rec, const CfgDiagnostics& lines)
        : rec(rec), lines(lines), args(rec.launch->args),
          root(rec.bundle ? rec.bundle->rootDir : std::string()) {}

    std::vector<LaunchReads::Read> run() {
        Given classPath;
        Given modulePath;
        size_t mainJar = 0;
        for (size_t i = 1; i < args.size() && !startsHere(i); ++i) {
            const std::string& arg = args[i];
            const RuntimeOptions::Match m = RuntimeOptions::read(arg);
            const size_t at = m.next && i + 1 < args.size() ? i + 1 : i;
            const std::string& value = at > i ? args[at] : m.value;
            if ((m.is(Value::ClassPath) || m.is(Value::ModulePath)) && (at > i || !m.next)) {
                (m.is(Value::ClassPath) ? classPath : modulePath) = {value, lineOf(at), at};
                i = at;
            } else if (m.is(Value::Property) && tstrings::startsWith(value, "java.class.path=")) {
                classPath = {value.substr(16), lineOf(i), i};
            } else if (m.is(Value::Started)) {
                mainJar = arg == "-jar" && at > i ? at : 0;
                break;
            } else if (m.is(Value::Agent) && arg.compare(0, 11, "-javaagent:") == 0) {
                add(value.substr(0, value.find('=')), "agent", i, true);
            } else if (m.is(Value::Splash)) {
                add(value, "splash", i, false);
            } else if (m.is(Value::LibraryPath)) {
                for (const std::string& dir : entriesOf(value)) {
                    add(dir, "library-path", i, false);
                }
            } else if (origin(i) && origin(i)->section == SectionName::JavaOptions) {
                files(i);
            }
        }
        if (mainJar) {
            add(args[mainJar], "main-jar", mainJar, true);
        } else {
            paths(classPath, "java.class.path", "class-path", true);
        }
        paths(modulePath, "jdk.module.path", "module-path", false);
        return found;
    }

private:
    struct Given {
        std::string value;
        size_t line = 0;
        size_t arg = 0; // the argument that gives it
    };

    // The configured entry that brings entry in (itself, or the "dir/*" it stands for), with its
    // line: that of its value where the argument joins all values of a property, else the
    // argument's.
    std::pair<size_t, std::string> entryOf(const Given& given, const std::string& entry) const {
        const std::optional<ValueRef>& o = origin(given.arg);
        const CfgFile::PropertyMap& props =
            rec.expanded && o ? rec.expanded->getProperties(o->section) : CfgFile::PropertyMap();
        const auto it = o && o->index == Jvm::ArgumentObserver::kAllValues ? props.find(o->property)
                                                                           : props.end();
        const std::vector<std::string> values =
            it == props.end() ? std::vector<std::string>{given.value} : it->second;
        const std::string wildcard = FileUtils::combinePath(FileUtils::dirname(entry), "*");
        for (size_t k = 0; k < values.size(); ++k) {
            for (const std::string& e : entriesOf(values[k])) {
                if (e == entry || e == wildcard) {
                    return {it == props.end() ? given.line
                                              : lines.lineOf(o->section, o->property, k),
                            e};
                }
            }
        }
        return {given.line, entry};
    }

    const std::optional<ValueRef>& origin(size_t i) const {
        static const std::optional<ValueRef> none;
        return i < rec.launch->origins.size() ? rec.launch->origins[i] : none;
    }
    size_t lineOf(size_t i) const { return origin(i) ? lineOfValue(lines, *origin(i)) : 0; }
    // The argument at i where it is a java-options value, else "".
    std::string optionAt(size_t i) const {
        return origin(i) && origin(i)->section == SectionName::JavaOptions ? args[i] : "";
    }

    // True when the argument at i is what the configuration has the runtime start, or the first
    // of the application's arguments.
    bool startsHere(size_t i) const {
        const std::optional<ValueRef>& o = origin(i + 1 < args.size() ? i + 1 : i);
        const bool startNext =
            o && o->section == SectionName::Application &&
            (o->property == PropertyName::mainjar || o->property == PropertyName::mainmodule) &&
            !origin(i);
        const std::optional<ValueRef>& here = origin(i);
        return (startNext && args[i] != "-jar") ||
               (here && (here->section == SectionName::ArgOptions ||
                         (here->section == SectionName::Application &&
                          here->property == PropertyName::mainclass)));
    }

    // The class or module path that counts: the runtime's listing where its trial gave one
    // whole, and without the replacement character that stands for bytes it could not decode.
    void paths(const Given& given, const char* property, const char* kind, bool jars) {
        std::vector<std::string> entries = entriesOf(given.value);
        if (rec.trial && rec.trial->properties.count(property) &&
            !rec.trial->partial.count(property)) {
            const std::vector<std::string> listed = entriesOf(rec.trial->properties.at(property));
            if (std::none_of(listed.begin(), listed.end(), [](const std::string& entry) {
                    return entry.find("\xEF\xBF\xBD") != std::string::npos;
                })) {
                entries = listed;
            }
        }
        for (const std::string& entry : entries) {
            const std::pair<size_t, std::string> named = entryOf(given, entry);
            const bool wildcard = jars && FileUtils::basename(entry) == "*";
            const std::string dir = wildcard ? FileUtils::dirname(entry) : entry;
            if (!wildcard) {
                push(make(entry, kind, named.first, optionAt(given.arg), named.second), jars);
            }
            // "dir/*" stands for the jars in dir; a module path directory that is no module
            // itself, for the modules in it.
            if (wildcard || (!jars && !FileUtils::isFileExists(FileUtils::combinePath(
                                          absolute(dir), "module-info.class")))) {
                for (const std::string& name : namesIn(absolute(dir), [&](const std::string& n) {
                         return !wildcard || isJarName(n);
                     })) {
                    push(make(FileUtils::combinePath(dir, name), kind, named.first,
                              optionAt(given.arg), FileUtils::combinePath(dir, "*")),
                         jars);
                }
            }
        }
    }

    // The existing absolute paths among the parts of the Java option at i.
    void files(size_t i) {
        for (const std::string& piece : entriesOf(args[i], "=:,")) {
            if (piece[0] == '/' && FileUtils::isFileExists(piece)) {
                add(piece, "file", i, tstrings::endsWith(piece, ".jar"));
            }
        }
    }

    std::string absolute(const std::string& path) const { return ::absolute(rec, path); }

    LaunchReads::Read make(const std::string& path, const char* kind, size_t line,
                           const std::string& option, const std::string& given) const {
        const std::string at = absolute(path);
        return {at,
                kind,
                !root.empty() && isInside(at, root),
                FileUtils::isFileExists(at),
                line,
                "",
                given,
                option};
    }

    // The path that the argument at i names.
    void add(const std::string& path, const char* kind, size_t i, bool jar) {
        if (!path.empty()) {
            push(make(path, kind, lineOf(i), optionAt(i), path), jar);
        }
    }

    // Keeps read once a path and kind; a jar's manifest is followed once a real path, at once,
    // as the runtime opens the entries of a Class-Path right after its jar.
    void push(const LaunchReads::Read& read, bool jar) {
        if (!seen.insert(read.kind + '\0' + read.path).second) {
            return;
        }
        found.push_back(read);
        const std::string real = realPath(read.path);
        if (!jar || !read.exists || !followed.insert(real.empty() ? read.path : real).second) {
            return;
        }
        for (const std::string& file : JarManifest::classPathFiles(read.path)) {
            LaunchReads::Read named = make(file, "manifest-class-path", read.line, "", file);
            named.manifest = read.path;
            push(named, true);
        }
    }

    const LaunchRecord& rec;
    const CfgDiagnostics& lines;
    const std::vector<std::string>& args;
    const std::string root;
    std::vector<LaunchReads::Read> found;
    std::set<std::string> seen;
    std::set<std::string> followed;
};

// The value of the manifest's attribute (its name in lower case) of the jar; "" without one.
std::string attribute(const std::string& jar, const char* name) {
    const JarManifest::Attributes attributes = JarManifest::read(jar);
    const auto it = attributes.find(name);
    return it == attributes.end() ? std::string() : it->second;
}

} // namespace

std::vector<LaunchReads::Read> LaunchReads::reads(const LaunchRecord& rec,
                                                  const CfgDiagnostics& lines) {
    return rec.launch ? Walk(rec, lines).run() : std::vector<Read>();
}

LaunchReads::Main LaunchReads::main(const LaunchRecord& rec) {
    Main found;
    for (size_t i = 0; rec.launch && i < rec.launch->origins.size(); ++i) {
        const std::optional<ValueRef>& o = rec.launch->origins[i];
        if (!o || !(o->section == SectionName::Application)) {
            continue;
        }
        const std::string& arg = rec.launch->args[i];
        const size_t slash = arg.find('/');
        if (o->property == PropertyName::mainclass) {
            found.mainClass = arg;
        } else if (o->property == PropertyName::mainmodule) {
            found.module = arg.substr(0, slash);
            found.moduleClass = slash == std::string::npos ? "" : arg.substr(slash + 1);
        } else if (o->property == PropertyName::mainjar) {
            found.jar = absolute(rec, arg);
        }
    }
    return found;
}

std::vector<std::string> LaunchReads::roots(const LaunchRecord& rec) {
    std::vector<std::string> found;
    const auto add = [&](const std::string& name) {
        if (!name.empty() && std::find(found.begin(), found.end(), name) == found.end()) {
            found.push_back(name);
        }
    };
    const Main m = main(rec);
    add(m.mainClass);
    if (m.mainClass.empty() && m.jar.empty()) {
        add(m.moduleClass);
    }
    if (!m.jar.empty()) {
        add(attribute(m.jar, "main-class"));
        add(attribute(m.jar, "launcher-agent-class"));
    }
    for (const std::string& arg : rec.launch ? rec.launch->args : std::vector<std::string>()) {
        if (tstrings::startsWith(arg, "-javaagent:")) {
            add(attribute(absolute(rec, arg.substr(11, arg.find('=', 11) - 11)), "premain-class"));
        }
    }
    return found;
}
