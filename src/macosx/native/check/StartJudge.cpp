// Whether the runtime finds what it is to start: the main class on the class path, the main
// jar with its Main-Class, as the check reads the jars itself (a main module is the runtime's
// to judge).
// Only what is certain is said, and as foreseen: the runtime's own verdict, when there is one,
// confirms it. An unreadable jar or a relative entry leaves the answer open.

#include <algorithm>
#include <dirent.h>
#include <functional>

#include "ClassPathIndex.h"
#include "FileUtils.h"
#include "JarManifest.h"
#include "Judging.h"
#include "ZipFile.h"
#include "tstrings.h"

namespace {

// The class name the runtime looks for: it reads "/" as ".".
std::string className(std::string name) {
    std::replace(name.begin(), name.end(), '/', '.');
    return name;
}

class StartJudge {
public:
    explicit StartJudge(Findings& f) : f(f), cmd(f.cmd) {}

    void run() {
        const std::vector<std::string>& args = f.rec.launch->args;
        const std::optional<ValueRef>& origin = f.originOf(cmd.mainIndex);
        if (!origin || !(origin->section == SectionName::Application)) {
            return;
        }
        const size_t line = f.lineOf(*origin);
        const std::string& main = args[cmd.mainIndex];
        if (cmd.mode == JavaCommandLine::CLASS) {
            judgeMainClass(main, line);
        } else if (cmd.mode == JavaCommandLine::JAR) {
            judgeMainJar(main, line);
        }
    }

private:
    // Adds the entries of a path list; false when one counts from the working directory at
    // launch, which the check cannot know. An entry that starts with a reference left as written
    // holds nothing: it is kept in unexpanded.
    bool addEntries(const std::string& path, const std::function<void(const std::string&)>& add) {
        std::vector<std::string> entries;
        tstrings::split(entries, path, std::string(1, FileUtils::pathSeparator));
        for (const std::string& entry : entries) {
            if (!entry.empty() && entry[0] == '$') {
                unexpanded.push_back(entry);
            } else if (entry.empty() || !FileUtils::isDirSeparator(entry[0])) {
                return false;
            } else {
                add(entry);
            }
        }
        return true;
    }

    void judgeMainClass(const std::string& main, size_t line) {
        if (cmd.classPaths.empty()) {
            f.warn(line, "there is no class path: the runtime looks for " + quotedText(main) +
                             " in the working directory at launch (or along CLASSPATH), not in "
                             "the bundle; add app.classpath=$APPDIR/<jar>");
            return;
        }
        ClassPathIndex index;
        const JavaCommandLine::PathOption& classPath = cmd.classPaths.back();
        if (!addEntries(classPath.value,
                        [&](const std::string& e) { index.addClassPathEntry(e); })) {
            return;
        }
        // Whether the lookup was certain is known only after it.
        const bool found = index.holds(className(main));
        if (!found && index.certain() && !unexpanded.empty() &&
            !tstrings::endsWith(main, ".class")) {
            const std::optional<ValueRef>& at = f.originOf(classPath.index);
            const std::string& entry = unexpanded.front();
            const size_t end = entry.find('/');
            f.foresee(at ? f.lineOf(*at) : line,
                      "class path entry " + quotedText(entry) + " starts with " +
                          quotedText(entry.substr(0, end)) +
                          ", which nothing expands, and no other entry holds app.mainclass " +
                          quotedText(main) +
                          ": the runtime fails with \"Could not find or load main class " +
                          visibleText(className(main)) + "\"");
            return;
        }
        judgeClass(main, found, index.certain(), index.sameButCase(className(main)),
                   "app.mainclass", "on the class path", line, jarDirectoryHint(classPath.value));
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
            f.foresee(line, what + " " + quotedText(name) +
                                " names a class file: the runtime wants the class's name and "
                                "fails; write " +
                                visibleText(bare));
            return;
        }
        if (found || !certain) {
            return;
        }
        std::string text = what + " " + quotedText(name) + " is not " + where +
                           ": the runtime fails with \"Could not find or load main class " +
                           visibleText(className(name)) + "\"";
        if (!otherCase.empty()) {
            text += "; there is " + quotedText(otherCase) + ", which differs in letter case";
        } else if (!name.empty() && isBlank(name.back())) {
            text += "; the name ends in a blank";
        }
        f.foresee(line, text + hint);
    }

    void judgeMainJar(const std::string& jar, size_t line) {
        ZipFile zip;
        if (!FileUtils::isFileExists(jar)) {
            return; // said with the path
        }
        if (!zip.open(jar)) {
            f.foresee(line, "main jar " + quotedText(jar) + " is not a jar the runtime can read (" +
                                zip.error() + "): it fails with \"Invalid or corrupt jarfile\"");
            return;
        }
        JarManifest manifest;
        const JarManifest::Status status = manifest.readFrom(zip);
        if (status == JarManifest::Status::Unreadable) {
            return;
        }
        if (status == JarManifest::Status::Invalid) {
            f.foresee(line, "main jar " + quotedText(jar) +
                                " has a manifest the runtime refuses (" + manifest.error() +
                                "): it fails to start the jar");
            return;
        }
        // The runtime trims the attribute's value.
        std::string mainClass = manifest.mainClass();
        mainClass.erase(0, std::find_if_not(mainClass.begin(), mainClass.end(), isBlank) -
                               mainClass.begin());
        mainClass.erase(std::find_if_not(mainClass.rbegin(), mainClass.rend(), isBlank).base(),
                        mainClass.end());
        if (mainClass.empty()) {
            f.foresee(line, "main jar " + quotedText(jar) +
                                " has no Main-Class in its manifest: the runtime fails with \"no "
                                "main manifest attribute\"; name the class with app.mainclass and "
                                "the jar in app.classpath instead, or build the jar with its "
                                "Main-Class");
            return;
        }
        ClassPathIndex index;
        index.addClassPathEntry(jar);
        const bool found = index.holds(className(mainClass));
        judgeClass(mainClass, found, index.certain(), index.sameButCase(className(mainClass)),
                   "the Main-Class of " + quotedText(jar) + ",",
                   "in the jar or the jars its Class-Path names", line);
    }

    Findings& f;
    const JavaCommandLine& cmd;
    std::vector<std::string> unexpanded;
};

} // namespace

void judgeStart(Findings& f) {
    if (!f.rec.launch) {
        return;
    }
    StartJudge(f).run();
}
