#include "LaunchDiagnostics.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <sstream>

#include "ClassPathIndex.h"
#include "FileUtils.h"
#include "JarManifest.h"
#include "JavaCommandLine.h"
#include "JvmLauncher.h"
#include "LibraryArch.h"
#include "ZipFile.h"
#include "tstrings.h"

namespace {

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    return tstrings::join(items.begin(), items.end(), separator);
}

// The runtime's own options that an application would hardly take as its arguments.
bool looksLikeRuntimeOption(const std::string& arg) {
    static const char* const prefixes[] = {
        "-Xmx",          "-Xms",
        "-Xss",          "-Xmn",
        "-XX:",          "-D",
        "-javaagent:",   "-agentlib:",
        "-agentpath:",   "--add-opens",
        "--add-exports", "--add-reads",
        "--add-modules", "--enable-preview",
        "--module-path", "--enable-native-access",
    };
    for (const char* prefix : prefixes) {
        if (startsWith(arg, prefix)) {
            return true;
        }
    }
    return false;
}

// True for text in a pair of double or single quotes.
bool isQuoted(const std::string& s) {
    return s.size() > 1 && (s[0] == '"' || s[0] == '\'') && s.back() == s[0];
}

// Options whose value the runtime reads as a size: blanks make it invalid.
bool isSizeOption(const std::string& head) {
    return head == "-Xmx" || head == "-Xms" || head == "-Xss" || head == "-Xmn" ||
           startsWith(head, "-Xmx") || startsWith(head, "-Xms") || startsWith(head, "-Xss") ||
           startsWith(head, "-Xmn");
}

class Judge {
public:
    Judge(const LaunchRecord& rec, const CfgDiagnostics& lines) : rec(rec), lines(lines) {}

    std::vector<Diagnostic> run() {
        if (rec.expansion) {
            judgeExpansion();
        }
        if (rec.expanded) {
            judgeValues();
            judgePaths();
            judgeMain();
        }
        if (rec.runtime) {
            judgeRuntime();
        }
        if (rec.launch) {
            judgeLibrary();
            judgeCommandLine();
        }
        return found;
    }

private:
    void warn(size_t line, const std::string& text) { found.push_back({line ? line : 1, text}); }
    void fail(size_t line, const std::string& text) {
        found.push_back({line ? line : 1, text, true});
    }

    // The line of the value; of the first value for an argument that joins them all.
    size_t lineOf(const ValueRef& v) const {
        return lines.lineOf(v.section, v.property,
                            v.index == Jvm::ArgumentObserver::kAllValues ? 0 : v.index);
    }
    size_t lineOf(const CfgFile::SectionId& s, const CfgFile::PropertyId& p, size_t i) const {
        return lines.lineOf(s, p, i);
    }

    // The values of a property of the expanded configuration; null when it has none.
    const CfgFile::Values* values(const CfgFile::SectionId& s, const CfgFile::PropertyId& p) const {
        const CfgFile::PropertyMap& props = rec.expanded->getProperties(s);
        const CfgFile::PropertyMap::const_iterator it = props.find(p);
        return it == props.end() ? nullptr : &it->second;
    }

    const std::string& valueOf(const ValueRef& v) const {
        return (*values(v.section, v.property))[v.index];
    }

    void judgeExpansion() {
        for (const LaunchRecord::Expansion::Unresolved& u : rec.expansion->unresolved) {
            warn(lineOf(u.value), quotedText(u.reference) + " in " + u.value.property.name() +
                                      " stays as written: there is no macro or environment "
                                      "variable " +
                                      quotedText(u.name));
        }
        for (const ValueRef& v : rec.expansion->unclosed) {
            warn(lineOf(v), "\"${\" without \"}\" in " + std::string(v.property.name()) +
                                ": the rest of the value is not expanded");
        }
    }

    // What no reference syntax covers: "$(NAME)" and quotes, in any value that is read.
    void judgeValues() {
        for (const CfgFile::SectionId* section : SectionName::all) {
            for (const CfgFile::PropertyMap::value_type& p :
                 rec.expanded->getProperties(*section)) {
                for (size_t i = 0; i != p.second.size(); ++i) {
                    const std::string& value = p.second[i];
                    const size_t open = value.find("$(");
                    if (open == std::string::npos) {
                        continue;
                    }
                    const size_t close = value.find(')', open);
                    const std::string name =
                        close == std::string::npos ? "" : value.substr(open + 2, close - open - 2);
                    std::string text = quotedText(value.substr(open, close - open + 1)) + " in " +
                                       p.first.name() +
                                       " stays as written: only $NAME and ${NAME} are expanded";
                    if (!name.empty()) {
                        text += "; write ${" + visibleText(name) + "}";
                    }
                    warn(lineOf(*section, p.first, i), text);
                }
            }
        }
    }

    void judgePaths() {
        const auto lists = [&](const CfgFile::PropertyId& property, const std::string& what,
                               bool classPath) {
            const CfgFile::Values* v = values(SectionName::Application, property);
            for (size_t i = 0; v && i != v->size(); ++i) {
                std::vector<std::string> entries;
                tstrings::split(entries, (*v)[i], std::string(1, FileUtils::pathSeparator));
                for (const std::string& entry : entries) {
                    checkPath(what, entry, lineOf(SectionName::Application, property, i), classPath,
                              false);
                }
            }
        };
        lists(PropertyName::classpath, "class path entry", true);
        lists(PropertyName::modulepath, "module path entry", false);
        const auto last = [&](const CfgFile::PropertyId& property, const std::string& what,
                              bool certain) {
            const CfgFile::Values* v = values(SectionName::Application, property);
            if (v && !v->empty()) {
                checkPath(what, v->back(),
                          lineOf(SectionName::Application, property, v->size() - 1), false,
                          certain);
            }
        };
        last(PropertyName::mainjar, "main jar", startsMainJar());
        last(PropertyName::splash, "splash screen", false);
    }

    // True when the runtime will start the main jar, so that a missing one is fatal.
    bool startsMainJar() const {
        if (!rec.launch) {
            return false;
        }
        const JavaCommandLine cmd = JavaCommandLine::parse(rec.launch->args);
        const std::optional<ValueRef>& origin = originOf(cmd.mainIndex);
        return cmd.mode == JavaCommandLine::JAR && origin &&
               origin->property == PropertyName::mainjar;
    }

    void checkPath(const std::string& what, const std::string& path, size_t line, bool classPath,
                   bool certain) {
        if (path.empty() || path.find("$(") != std::string::npos) {
            return; // the working directory, or an unexpanded "$(" said already
        }
        if (path[0] == '~') {
            warn(line, what + " " + quotedText(path) +
                           ": \"~\" is not expanded (no shell reads the configuration); write "
                           "$HOME" +
                           visibleText(path.substr(1)));
            return;
        }
        if (!FileUtils::isDirSeparator(path[0])) {
            warn(line, what + " " + quotedText(path) +
                           " is relative: it is resolved against the working directory at "
                           "launch, not the bundle; start it with $APPDIR/");
            return;
        }
        const size_t star = path.find('*');
        if (star != std::string::npos) {
            const bool wholeDir = classPath && star + 1 == path.size() && star > 0 &&
                                  FileUtils::isDirSeparator(path[star - 1]);
            if (!wholeDir) {
                const std::string dir = FileUtils::dirname(path.substr(0, star + 1));
                warn(line, what + " " + quotedText(path) +
                               (classPath ? ": the runtime expands \"*\" only as a whole last "
                                            "component, \"dir/*\" for all the jars in dir; write " +
                                                visibleText(dir) + "/*"
                                          : ": the runtime does not expand \"*\" on the module "
                                            "path; name the directory, " +
                                                visibleText(dir)));
                return;
            }
        }
        // A class path entry "dir/*" stands for the jars in dir.
        const std::string file = star != std::string::npos ? path.substr(0, star - 1) : path;
        if (!FileUtils::isFileExists(file)) {
            std::string text = what + " " + quotedText(path) + " does not exist";
            if (path.find(';') != std::string::npos) {
                text += " (entries are separated by \":\", not \";\")";
            }
            if (certain) {
                fail(line, text + ": the runtime cannot start it");
            } else {
                warn(line, text);
            }
        }
    }

    void judgeRuntime() {
        const LaunchRecord::Runtime& r = *rec.runtime;
        if (!r.configured) {
            return;
        }
        const CfgFile::Values* v = values(SectionName::Application, PropertyName::runtime);
        const size_t line =
            v ? lineOf(SectionName::Application, PropertyName::runtime, v->size() - 1) : 0;
        if (!r.dir.empty() && !FileUtils::isDirSeparator(r.dir[0])) {
            warn(line, "app.runtime " + quotedText(r.dir) +
                           " is relative: it is resolved against the working directory at "
                           "launch, not the bundle; start it with $APPDIR/ or $ROOTDIR/");
        }
        if (std::any_of(r.libs.begin(), r.libs.end(),
                        [](const std::pair<std::string, bool>& l) { return l.second; })) {
            return;
        }
        std::vector<std::string> tried;
        for (const std::pair<std::string, bool>& l : r.libs) {
            tried.push_back(quotedText(l.first));
        }
        // A Java home has its library right below lib/; a bundled runtime has Contents/Home
        // first.
        const char* const homeLibs[] = {"lib/libjli.dylib", "lib/jli/libjli.dylib",
                                        "lib/libjli.so"};
        bool javaHome = false;
        for (const char* lib : homeLibs) {
            javaHome = javaHome || FileUtils::isFileExists(FileUtils::combinePath(r.dir, lib));
        }
        if (!javaHome) {
            warn(line, "app.runtime " + quotedText(r.dir) + " holds no launch library: neither " +
                           joined(tried, " nor ") + " exists");
            return;
        }
        std::string text = "app.runtime " + quotedText(r.dir) +
                           " is a Java home, not the directory that holds Contents/Home: the "
                           "launcher looks for " +
                           (tried.empty() ? std::string() : tried[0]);
        const std::string dir = FileUtils::removeTrailingSlash(r.dir);
        if (tstrings::endsWith(dir, "/Contents/Home")) {
            text += "; write app.runtime=" + dir.substr(0, dir.size() - 14);
        }
        warn(line, text);
    }

    void judgeLibrary() {
        const std::string& libPath = rec.launch->libPath;
        const LibraryArch arch = LibraryArch::ofFile(libPath);
        const std::string own = LibraryArch::ownArch();
        if (!arch.lacks(own)) {
            return;
        }
        const CfgFile::Values* v = values(SectionName::Application, PropertyName::runtime);
        const size_t line =
            v ? lineOf(SectionName::Application, PropertyName::runtime, v->size() - 1) : 0;
        warn(line, arch.format == "universal"
                       ? "launch library " + quotedText(libPath) + " is a universal file for " +
                             joined(arch.archs, ", ") + " without " + own +
                             ", the launcher's architecture: it cannot be loaded"
                       : "launch library " + quotedText(libPath) + " is built for " +
                             arch.archs[0] + ", but the launcher is " + own +
                             ": it cannot be loaded");
    }

    const std::optional<ValueRef>& originOf(size_t argIndex) const {
        static const std::optional<ValueRef> none;
        return argIndex < rec.launch->origins.size() ? rec.launch->origins[argIndex] : none;
    }

    void judgeCommandLine() {
        const std::vector<std::string>& args = rec.launch->args;
        const JavaCommandLine cmd = JavaCommandLine::parse(args);

        // Each value of java-options is exactly one argument.
        for (size_t i = 1; i < args.size(); ++i) {
            const std::optional<ValueRef>& origin = originOf(i);
            if (!origin || !(origin->section == SectionName::JavaOptions)) {
                continue;
            }
            if (cmd.roles[i] == JavaCommandLine::MAIN) {
                judgeMisplacedOption(args[i], lineOf(*origin));
            } else if (cmd.roles[i] == JavaCommandLine::OPTION) {
                judgeJavaOption(args[i], lineOf(*origin));
                judgeOptionValue(i, lineOf(*origin));
            }
        }

        // What follows the main class, jar or module goes to the application.
        for (size_t i = cmd.appArgsIndex; i < args.size(); ++i) {
            const std::optional<ValueRef>& origin = originOf(i);
            if (!origin) {
                continue;
            }
            const size_t line = lineOf(*origin);
            const std::optional<ValueRef>& main = originOf(cmd.mainIndex);
            if (origin->section == SectionName::Application && main &&
                main->section == SectionName::Application) {
                const std::string started = main->property.name();
                const std::string given =
                    i > 0 && !originOf(i - 1) && i - 1 >= cmd.appArgsIndex
                        ? quotedText(args[i - 1]) + " and " + quotedText(args[i])
                        : quotedText(args[i]);
                warn(line, std::string(origin->property.name()) +
                               " is not what the runtime starts: it starts " + started +
                               " and hands " + given +
                               " to the application as arguments; keep only one of "
                               "app.mainclass, app.mainjar and app.mainmodule");
            } else if (origin->section == SectionName::ArgOptions && !rec.argsReplaced &&
                       isQuoted(args[i])) {
                warn(line, "arguments value " + quotedText(args[i]) +
                               ": the quotes reach the application as they are; write "
                               "arguments=" +
                               visibleText(args[i].substr(1, args[i].size() - 2)) +
                               " (each value is one argument, blanks included)");
            } else if (origin->section == SectionName::ArgOptions && !rec.argsReplaced &&
                       looksLikeRuntimeOption(args[i])) {
                warn(line, "arguments value " + quotedText(args[i]) +
                               " goes to the application, not the runtime: arguments follow "
                               "the main class; if the runtime should get it, write "
                               "java-options=" +
                               visibleText(args[i]) + " in [JavaOptions]");
            }
        }

        judgeRepeated(cmd.classPaths, "class path");
        judgeRepeated(cmd.modulePaths, "module path");

        if (cmd.mode == JavaCommandLine::JAR && !cmd.classPaths.empty()) {
            const std::optional<ValueRef>& origin = originOf(cmd.classPaths.back().index);
            if (origin) {
                warn(lineOf(*origin),
                     std::string(origin->property.name()) +
                         " is ignored: with -jar the runtime takes classes only from the main "
                         "jar and the jars its manifest's Class-Path names; list them there, or "
                         "start app.mainclass with the jar on app.classpath");
            }
        }

        judgeStart(cmd);
    }

    // Whether the runtime finds what it is to start: the main class on the class path, the
    // main jar with its Main-Class, the main module with its class. Only what is certain is
    // said: an unreadable jar or an argument file leaves the answer open.
    void judgeStart(const JavaCommandLine& cmd) {
        const std::vector<std::string>& args = rec.launch->args;
        const std::optional<ValueRef>& origin = originOf(cmd.mainIndex);
        if (cmd.hasArgFile || !origin || !(origin->section == SectionName::Application)) {
            return;
        }
        const size_t line = lineOf(*origin);
        const std::string& main = args[cmd.mainIndex];
        if (cmd.mode == JavaCommandLine::CLASS) {
            if (cmd.classPaths.empty()) {
                warn(line, "there is no class path: the runtime looks for " + quotedText(main) +
                               " in the working directory at launch (or along CLASSPATH), not "
                               "in the bundle; add app.classpath=$APPDIR/<jar>");
                return;
            }
            ClassPathIndex index;
            if (!addEntries(cmd.classPaths.back().value,
                            [&](const std::string& e) { index.addClassPathEntry(e); })) {
                return;
            }
            // Whether the lookup was certain is known only after it.
            const bool found = index.holds(className(main));
            judgeClass(main, found, index.certain(), index.sameButCase(className(main)),
                       "app.mainclass", "on the class path", line,
                       jarDirectoryHint(cmd.classPaths.back().value));
        } else if (cmd.mode == JavaCommandLine::JAR) {
            judgeMainJar(main, line);
        } else if (cmd.mode == JavaCommandLine::MODULE) {
            judgeMainModule(main, cmd, line);
        }
    }

    // The class name the runtime looks for: it reads "/" as ".".
    static std::string className(std::string name) {
        std::replace(name.begin(), name.end(), '/', '.');
        return name;
    }

    // Adds the entries of a path list; false when one counts from the working directory at
    // launch, which the check cannot know.
    static bool addEntries(const std::string& path,
                           const std::function<void(const std::string&)>& add) {
        std::vector<std::string> entries;
        tstrings::split(entries, path, std::string(1, FileUtils::pathSeparator));
        for (const std::string& entry : entries) {
            if (entry.empty() || !FileUtils::isDirSeparator(entry[0])) {
                return false;
            }
            add(entry);
        }
        return true;
    }

    // A hint for a class path directory that holds jars: the runtime looks in it only for
    // classes; "" when there is none.
    static std::string jarDirectoryHint(const std::string& path) {
        std::vector<std::string> entries;
        tstrings::split(entries, path, std::string(1, FileUtils::pathSeparator));
        for (const std::string& entry : entries) {
            DIR* dir = ::opendir(entry.c_str());
            if (!dir) {
                continue;
            }
            bool jars = false;
            while (const dirent* e = ::readdir(dir)) {
                const std::string name = e->d_name;
                jars = jars || tstrings::endsWith(name, ".jar") || tstrings::endsWith(name, ".JAR");
            }
            ::closedir(dir);
            if (jars) {
                const std::string d = FileUtils::removeTrailingSlash(entry);
                return "; " + quotedText(d) +
                       " holds jars, which the runtime takes only from an entry " +
                       quotedText(d + "/*");
            }
        }
        return std::string();
    }

    void judgeClass(const std::string& name, bool found, bool certain, const std::string& otherCase,
                    const std::string& what, const std::string& where, size_t line,
                    const std::string& hint = std::string()) {
        if (tstrings::endsWith(name, ".class")) {
            const std::string bare = className(name.substr(0, name.size() - 6));
            fail(line, what + " " + quotedText(name) +
                           " names a class file: the runtime wants the class's name and fails; "
                           "write " +
                           visibleText(bare));
            return;
        }
        if (found || !certain) {
            return;
        }
        std::string text = what + " " + quotedText(name) + " is not " + where +
                           ": the runtime fails with ClassNotFoundException";
        if (!otherCase.empty()) {
            text += "; there is " + quotedText(otherCase) + ", which differs in letter case";
        } else if (!name.empty() && isBlank(name.back())) {
            text += "; the name ends in a blank";
        }
        fail(line, text + hint);
    }

    void judgeMainJar(const std::string& jar, size_t line) {
        ZipFile zip;
        if (!FileUtils::isFileExists(jar)) {
            return; // said with the path
        }
        if (!zip.open(jar)) {
            fail(line, "main jar " + quotedText(jar) + " is not a jar the runtime can read (" +
                           zip.error() + "): it fails with \"Invalid or corrupt jarfile\"");
            return;
        }
        JarManifest manifest;
        const JarManifest::Status status = manifest.readFrom(zip);
        if (status == JarManifest::Status::Unreadable) {
            return;
        }
        if (status == JarManifest::Status::Invalid) {
            fail(line, "main jar " + quotedText(jar) + " has a manifest the runtime refuses (" +
                           manifest.error() + "): it fails to start the jar");
            return;
        }
        // The runtime trims the attribute's value.
        std::string mainClass = manifest.mainClass();
        mainClass.erase(0, std::find_if_not(mainClass.begin(), mainClass.end(), isBlank) -
                               mainClass.begin());
        mainClass.erase(std::find_if_not(mainClass.rbegin(), mainClass.rend(), isBlank).base(),
                        mainClass.end());
        if (mainClass.empty()) {
            fail(line, "main jar " + quotedText(jar) +
                           " has no Main-Class in its manifest: the runtime fails with \"no main "
                           "manifest attribute\"; name the class with app.mainclass and the jar "
                           "in app.classpath instead, or build the jar with its Main-Class");
            return;
        }
        ClassPathIndex index;
        index.addClassPathEntry(jar);
        const bool found = index.holds(className(mainClass));
        judgeClass(mainClass, found, index.certain(), index.sameButCase(className(mainClass)),
                   "the Main-Class of " + quotedText(jar) + ",",
                   "in the jar or the jars its Class-Path names", line);
    }

    void judgeMainModule(const std::string& value, const JavaCommandLine& cmd, size_t line) {
        const size_t slash = value.find('/');
        const std::string name = value.substr(0, slash);
        const std::string mainClass =
            slash == std::string::npos ? std::string() : value.substr(slash + 1);
        ClassPathIndex index;
        if (!cmd.modulePaths.empty() &&
            !addEntries(cmd.modulePaths.back().value,
                        [&](const std::string& e) { index.addModulePathEntry(e); })) {
            return;
        }
        const ClassPathIndex::Module* module = index.findModule(name);
        if (!module) {
            const std::optional<bool> inRuntime = runtimeHasModule(name);
            if (index.modulePathCertain() && inRuntime && !*inRuntime) {
                fail(line, "app.mainmodule names the module " + quotedText(name) +
                               ", which is neither on the module path nor in the runtime: it "
                               "fails with \"Module " +
                               visibleText(name) + " not found\"");
            }
            return;
        }
        if (!mainClass.empty()) {
            judgeClass(mainClass, module->holds(className(mainClass)), true,
                       module->sameButCase(className(mainClass)), "app.mainmodule's class",
                       "in the module " + quotedText(name), line);
        } else if (module->mainClass.empty()) {
            fail(line, "app.mainmodule names the module " + quotedText(name) +
                           " alone, which has no main class of its own: the runtime fails; "
                           "write app.mainmodule=" +
                           visibleText(name) + "/<main class>");
        }
    }

    // Whether the runtime of the launch library has the module, as its release file lists
    // them; empty when that cannot be told.
    std::optional<bool> runtimeHasModule(const std::string& name) const {
        // The runtime takes its home from where its library really lies.
        char real[PATH_MAX];
        if (!::realpath(rec.launch->libPath.c_str(), real)) {
            return std::nullopt;
        }
        const std::string lib = real;
        const size_t at = lib.rfind("/lib/");
        if (at == std::string::npos) {
            return std::nullopt;
        }
        std::ifstream release(lib.substr(0, at) + "/release");
        for (std::string line; std::getline(release, line);) {
            if (line.compare(0, 9, "MODULES=\"") == 0) {
                std::istringstream modules(line.substr(9, line.rfind('"') - 9));
                for (std::string module; modules >> module;) {
                    if (module == name) {
                        return true;
                    }
                }
                return false;
            }
        }
        return std::nullopt;
    }

    // Only the last class path or module path option counts.
    void judgeRepeated(const std::vector<JavaCommandLine::PathOption>& paths,
                       const std::string& what) {
        for (size_t k = 0; k + 1 < paths.size(); ++k) {
            const std::optional<ValueRef>& origin = originOf(paths[k].index);
            if (!origin) {
                continue;
            }
            const std::optional<ValueRef>& later = originOf(paths.back().index);
            warn(lineOf(*origin),
                 "the " + what + " " + quotedText(paths[k].value) +
                     " is ignored: the runtime uses only the last " + what + " it is given (" +
                     quotedText(paths.back().value) +
                     (later ? ", line " + std::to_string(lineOf(*later)) : std::string()) +
                     "); join the entries with \":\" in one value");
        }
    }

    // An option that takes the next argument as its value must get it from the next line of
    // java-options, not from what the launcher adds after them.
    void judgeOptionValue(size_t i, size_t line) {
        const std::vector<std::string>& args = rec.launch->args;
        if (!JavaCommandLine::takesValue(args[i]) || i + 1 >= args.size()) {
            return;
        }
        const std::optional<ValueRef>& next = originOf(i + 1);
        if (next && next->section == SectionName::JavaOptions) {
            return;
        }
        warn(line, "java-options value " + quotedText(args[i]) +
                       " takes the next argument as its value, which here is " +
                       quotedText(args[i + 1]) +
                       ", not a java-options line; put its value on the java-options line "
                       "right after it");
    }

    // A java-options value that the runtime takes for what to start.
    void judgeMisplacedOption(const std::string& value, size_t line) {
        if (isQuoted(value)) {
            const std::string inner = value.substr(1, value.size() - 2);
            fail(line, "java-options value " + quotedText(inner) +
                           " is written in quotes, which reach the runtime as they are: it "
                           "takes the value for the main class and fails; write java-options=" +
                           visibleText(inner) + " (each value is one argument, blanks included)");
            return;
        }
        fail(line, "java-options value " + quotedText(value) +
                       " is not an option (it does not start with \"-\"): the runtime takes it "
                       "for the main class and fails");
    }

    void judgeJavaOption(const std::string& value, size_t line) {
        const size_t eq = value.find('=');
        if (eq != std::string::npos && eq + 2 < value.size() &&
            (value[eq + 1] == '"' || value[eq + 1] == '\'') && value.back() == value[eq + 1]) {
            const std::string fixed =
                value.substr(0, eq + 1) + value.substr(eq + 2, value.size() - eq - 3);
            warn(line, "the quotes in java-options value " + visibleText(value) +
                           " reach the runtime as part of the value; write " + visibleText(fixed) +
                           " (each value is one argument, blanks included)");
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
            fail(line, "java-options value " + quotedText(value) +
                           " is one argument: the runtime does not know the option as a whole "
                           "and fails" +
                           fix);
        } else if (!rest.empty() && rest[0] == '-' && startsWith(head, "-D")) {
            warn(line, "java-options value " + quotedText(value) +
                           " is one argument: the property gets the value " +
                           quotedText(value.substr(std::min(value.find('='), blank) + 1)) +
                           ", blanks included; if " + quotedText(rest) +
                           " is meant for the runtime" + fix);
        } else if (!rest.empty() && rest[0] == '-' && !startsWith(head, "-D") &&
                   !startsWith(head, "-XX:On")) {
            const std::string text = "java-options value " + quotedText(value) +
                                     " holds several options in one argument, which the "
                                     "runtime reads as one";
            if (isSizeOption(head) || startsWith(head, "-XX:+") || startsWith(head, "-XX:-")) {
                fail(line, text + " and rejects" + fix);
            } else {
                warn(line, text + fix);
            }
        } else if (isSizeOption(head)) {
            fail(line, "java-options value " + quotedText(value) +
                           " has a blank in its size: the runtime rejects it; write " +
                           visibleText(head) + visibleText(rest));
        }
    }

    void judgeMain() {
        const CfgFile::PropertyMap& app = rec.expanded->getProperties(SectionName::Application);
        if (app.count(PropertyName::mainclass) || app.count(PropertyName::mainjar) ||
            app.count(PropertyName::mainmodule)) {
            return;
        }
        const size_t header = lines.headerLineOf(SectionName::Application);
        std::string first;
        if (rec.launch) {
            const JavaCommandLine cmd = JavaCommandLine::parse(rec.launch->args);
            if (cmd.mode == JavaCommandLine::CLASS) {
                first = rec.launch->args[cmd.mainIndex];
            }
        }
        warn(header, "no app.mainclass, app.mainjar or app.mainmodule in [Application]: the "
                     "runtime takes the first argument as the main class" +
                         (first.empty() ? std::string() : " (here " + quotedText(first) + ")"));
    }

    const LaunchRecord& rec;
    const CfgDiagnostics& lines;
    std::vector<Diagnostic> found;
};

} // namespace

std::vector<Diagnostic> judgeLaunch(const LaunchRecord& record, const CfgDiagnostics& lines) {
    return Judge(record, lines).run();
}
