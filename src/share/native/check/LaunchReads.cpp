#include "LaunchReads.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "FileUtils.h"
#include "JarManifest.h"
#include "Judging.h"
#include "JvmLauncher.h"
#include "tstrings.h"

std::string LaunchReads::realPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    const std::string result = real ? real : "";
    std::free(real);
    return result;
}

std::string LaunchReads::normalized(const std::string& path) {
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

bool LaunchReads::isInside(const std::string& path, const std::string& root) {
    const auto within = [](const std::string& p, const std::string& dir) {
        return !dir.empty() && dir != "/" && (p == dir || tstrings::startsWith(p, dir + "/"));
    };
    const std::string real = realPath(path);
    return real.empty() ? within(normalized(path), normalized(root)) : within(real, realPath(root));
}

namespace {

bool isOption(const std::string& arg, const char* const* names) {
    for (; *names; ++names) {
        if (arg == *names) {
            return true;
        }
    }
    return false;
}

const char* const kClassPath[] = {"-cp", "-classpath", "--class-path", nullptr};
const char* const kModulePath[] = {"-p", "--module-path", nullptr};

// True for an option written joined with its value (--class-path=a.jar), the value in value.
bool joined(const std::string& arg, const char* const* names, std::string& value) {
    for (; *names; ++names) {
        const std::string prefix = std::string(*names) + "=";
        if (tstrings::startsWith(arg, prefix) && prefix.size() > 3) {
            value = arg.substr(prefix.size());
            return true;
        }
    }
    return false;
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
        size_t i = 1;
        for (; i < args.size() && !startsHere(i); ++i) {
            const std::string& arg = args[i];
            std::string value;
            if (i + 1 < args.size() && (isOption(arg, kClassPath) || isOption(arg, kModulePath))) {
                (isOption(arg, kClassPath) ? classPath : modulePath) = {args[i + 1], lineOf(i + 1),
                                                                        i + 1};
                ++i;
            } else if (joined(arg, kClassPath, value)) {
                classPath = {value, lineOf(i), i};
            } else if (tstrings::startsWith(arg, "-Djava.class.path=")) {
                classPath = {arg.substr(18), lineOf(i), i};
            } else if (joined(arg, kModulePath, value)) {
                modulePath = {value, lineOf(i), i};
            } else if (arg == "-jar" && i + 1 < args.size()) {
                mainJar = i + 1;
                break;
            } else if (arg == "-m" || arg == "--module" || tstrings::startsWith(arg, "--module=")) {
                break;
            } else if (tstrings::startsWith(arg, "-javaagent:")) {
                add(arg.substr(11, arg.find('=', 11) - 11), "agent", lineOf(i), true);
            } else if (tstrings::startsWith(arg, "-splash:")) {
                add(arg.substr(8), "splash", lineOf(i), false);
            } else if (tstrings::startsWith(arg, "-Djava.library.path=")) {
                for (const std::string& dir : entriesOf(arg.substr(20))) {
                    add(dir, "library-path", lineOf(i), false);
                }
            } else if (origin(i) && origin(i)->section == SectionName::JavaOptions) {
                files(arg, lineOf(i));
            }
        }
        if (mainJar) {
            add(args[mainJar], "main-jar", lineOf(mainJar), true);
        } else {
            paths(classPath, "java.class.path", "class-path", true);
        }
        paths(modulePath, "jdk.module.path", "module-path", false);
        // The manifests' Class-Path last, breadth first, as the runtime opens them.
        for (size_t k = 0; k < found.size(); ++k) {
            if (found[k].exists && follows.count(k)) {
                for (const std::string& file : JarManifest::classPathFiles(found[k].path)) {
                    LaunchReads::Read read = make(file, "manifest-class-path", 0);
                    read.manifest = found[k].path;
                    push(read, true);
                }
            }
        }
        return found;
    }

private:
    struct Given {
        std::string value;
        size_t line = 0;
        size_t arg = 0; // the argument that gives it
    };

    // The line of the configured value that brings entry (or its "dir/*") in, where the argument
    // joins all values of a property; else the argument's.
    size_t lineOfEntry(const Given& given, const std::string& entry) const {
        const std::optional<ValueRef>& o = origin(given.arg);
        const CfgFile::PropertyMap& props =
            rec.expanded && o ? rec.expanded->getProperties(o->section) : CfgFile::PropertyMap();
        const auto it = o && o->index == Jvm::ArgumentObserver::kAllValues ? props.find(o->property)
                                                                           : props.end();
        const std::string wildcard = FileUtils::combinePath(FileUtils::dirname(entry), "*");
        for (size_t k = 0; it != props.end() && k < it->second.size(); ++k) {
            for (const std::string& e : entriesOf(it->second[k])) {
                if (e == entry || e == wildcard) {
                    return lines.lineOf(o->section, o->property, k);
                }
            }
        }
        return given.line;
    }

    const std::optional<ValueRef>& origin(size_t i) const {
        static const std::optional<ValueRef> none;
        return i < rec.launch->origins.size() ? rec.launch->origins[i] : none;
    }
    size_t lineOf(size_t i) const { return origin(i) ? lineOfValue(lines, *origin(i)) : 0; }

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
            const bool wildcard = jars && FileUtils::basename(entry) == "*";
            const std::string dir = wildcard ? FileUtils::dirname(entry) : entry;
            if (!wildcard) {
                add(entry, kind, lineOfEntry(given, entry), jars);
            }
            // "dir/*" stands for the jars in dir; a module path directory that is no module
            // itself, for the modules in it.
            if (wildcard || (!jars && !FileUtils::isFileExists(FileUtils::combinePath(
                                          absolute(dir), "module-info.class")))) {
                for (const std::string& name : namesIn(absolute(dir), [&](const std::string& n) {
                         return !wildcard || isJarName(n);
                     })) {
                    add(FileUtils::combinePath(dir, name), kind, lineOfEntry(given, entry), jars);
                }
            }
        }
    }

    // The absolute paths of existing files among the parts of a Java option's value.
    void files(const std::string& value, size_t line) {
        for (const std::string& piece : entriesOf(value, "=:,")) {
            if (piece[0] == '/' && FileUtils::isFileExists(piece)) {
                add(piece, "file", line, tstrings::endsWith(piece, ".jar"));
            }
        }
    }

    // A relative path counts from the start's working directory, as the runtime takes it.
    std::string absolute(const std::string& path) const {
        return LaunchReads::normalized(path.empty() || path[0] == '/'
                                           ? path
                                           : FileUtils::combinePath(rec.start.workDir, path));
    }

    LaunchReads::Read make(const std::string& path, const char* kind, size_t line) const {
        LaunchReads::Read read;
        read.path = absolute(path);
        read.kind = kind;
        read.exists = FileUtils::isFileExists(read.path);
        read.inside = !root.empty() && LaunchReads::isInside(read.path, root);
        read.line = line;
        return read;
    }

    void add(const std::string& path, const char* kind, size_t line, bool jar) {
        if (!path.empty()) {
            push(make(path, kind, line), jar);
        }
    }

    // Keeps read once a path and kind; a jar's manifest is followed once a real path.
    void push(const LaunchReads::Read& read, bool jar) {
        if (!seen.insert(read.kind + '\0' + read.path).second) {
            return;
        }
        found.push_back(read);
        const std::string real = LaunchReads::realPath(read.path);
        if (jar && read.exists && followed.insert(real.empty() ? read.path : real).second) {
            follows.insert(found.size() - 1);
        }
    }

    const LaunchRecord& rec;
    const CfgDiagnostics& lines;
    const std::vector<std::string>& args;
    const std::string root;
    size_t mainJar = 0;
    std::vector<LaunchReads::Read> found;
    std::set<std::string> seen;
    std::set<std::string> followed;
    std::set<size_t> follows;
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
        if (o->property == PropertyName::mainclass) {
            found.mainClass = arg;
        } else if (o->property == PropertyName::mainmodule) {
            found.module = arg.substr(0, arg.find('/'));
        } else if (o->property == PropertyName::mainjar) {
            found.jar =
                normalized(arg[0] == '/' ? arg : FileUtils::combinePath(rec.start.workDir, arg));
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
    for (size_t i = 0;
         rec.launch && m.mainClass.empty() && m.jar.empty() && i < rec.launch->origins.size();
         ++i) {
        const std::optional<ValueRef>& o = rec.launch->origins[i];
        const std::string& arg = rec.launch->args[i];
        if (o && o->property == PropertyName::mainmodule && arg.find('/') != std::string::npos) {
            add(arg.substr(arg.find('/') + 1));
        }
    }
    if (!m.jar.empty()) {
        add(attribute(m.jar, "main-class"));
        add(attribute(m.jar, "launcher-agent-class"));
    }
    for (const std::string& arg : rec.launch ? rec.launch->args : std::vector<std::string>()) {
        if (tstrings::startsWith(arg, "-javaagent:")) {
            const std::string jar = arg.substr(11, arg.find('=', 11) - 11);
            add(attribute(
                normalized(jar[0] == '/' ? jar : FileUtils::combinePath(rec.start.workDir, jar)),
                "premain-class"));
        }
    }
    return found;
}
