// The files and directories that the values name: there, absolute, and written the way the
// runtime reads them.

#include <algorithm>

#include "FileUtils.h"
#include "JarManifest.h"
#include "Judging.h"
#include "tstrings.h"

namespace {

// True when path, relative, names a file of the bundle's application or root directory.
bool isBundleFile(const Findings& f, const std::string& path) {
    return f.rec.bundle &&
           (FileUtils::isFileExists(FileUtils::combinePath(f.rec.bundle->appDir, path)) ||
            FileUtils::isFileExists(FileUtils::combinePath(f.rec.bundle->rootDir, path)));
}

void checkPath(Findings& f, const std::string& what, const std::string& path, size_t line,
               bool classPath, bool certain) {
    if (path.empty() || path[0] == '$' || path.find("$(") != std::string::npos) {
        return; // the working directory, or a reference left as written, said already
    }
    if (path[0] == '~') {
        f.warn(line, what + " " + quotedText(path) +
                         ": \"~\" is not expanded (no shell reads the configuration); write $HOME" +
                         visibleText(path.substr(1)));
        return;
    }
    if (!FileUtils::isDirSeparator(path[0])) {
        const std::string text =
            what + " " + quotedText(path) + relativePathText(f, path, "start it with $APPDIR/");
        // Found where the developer stands, not where the launch starts: its classes are
        // missing at their first use, which no dry run reaches.
        if (classPath && !FileUtils::isFileExists(path) &&
            FileUtils::isFileExists(FileUtils::combinePath(f.rec.start.shellDir, path))) {
            f.fail(line, text + "; it is found only from " + quotedText(f.rec.start.shellDir) +
                             ", and its classes are missing at their first use");
        } else {
            f.warn(line, text);
        }
        return;
    }
    const size_t star = path.find('*');
    if (star != std::string::npos) {
        const bool wholeDir = classPath && star + 1 == path.size() && star > 0 &&
                              FileUtils::isDirSeparator(path[star - 1]);
        if (!wholeDir) {
            const std::string dir = FileUtils::dirname(path.substr(0, star + 1));
            f.warn(line, what + " " + quotedText(path) +
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
    if (FileUtils::isFileExists(file)) {
        // The class path's jars, and a main jar that is started, bring their manifests' too.
        judgeOutside(f, what, path, line, classPath || certain);
        if (classPath && star == std::string::npos && !JarManifest::isZip(file)) {
            f.fail(line, what + " " + quotedText(path) +
                             " is no jar or zip file (a Git LFS pointer or a saved web page may "
                             "have taken its place): the runtime passes over it without a word, "
                             "and its classes are missing at their first use");
        }
        return;
    }
    std::string text = what + " " + quotedText(path) + " does not exist";
    if (path.find(';') != std::string::npos) {
        text += " (entries are separated by \":\", not \";\")";
    }
    if (certain) {
        f.fail(line, text + ": the runtime cannot start it");
    } else {
        f.warn(line, text);
    }
}

} // namespace

void judgeFiles(Findings& f) {
    if (!f.rec.expanded) {
        return;
    }
    const auto lists = [&](const CfgFile::PropertyId& property, const std::string& what,
                           bool classPath) {
        const CfgFile::Values* v = f.values(SectionName::Application, property);
        for (size_t i = 0; v && i != v->size(); ++i) {
            std::vector<std::string> entries;
            tstrings::split(entries, (*v)[i], std::string(1, FileUtils::pathSeparator));
            for (const std::string& entry : entries) {
                checkPath(f, what, entry, f.lines.lineOf(SectionName::Application, property, i),
                          classPath, false);
            }
        }
    };
    lists(PropertyName::classpath, "class path entry", true);
    lists(PropertyName::modulepath, "module path entry", false);
    const auto last = [&](const CfgFile::PropertyId& property, const std::string& what,
                          bool certain) {
        const CfgFile::Values* v = f.values(SectionName::Application, property);
        if (v && !v->empty()) {
            checkPath(f, what, v->back(), f.lastLineOf(property), false, certain);
        }
    };
    // The launcher starts the main jar when no main class or module comes before it.
    const bool startsJar = !f.values(SectionName::Application, PropertyName::mainclass) &&
                           !f.values(SectionName::Application, PropertyName::mainmodule);
    last(PropertyName::mainjar, "main jar", startsJar);
    last(PropertyName::splash, "splash screen", false);

    // A splash screen given straight to the runtime is not looked for by the launcher, and the
    // runtime shows nothing and says nothing when its file is missing.
    const CfgFile::Values* options = f.values(SectionName::JavaOptions, PropertyName::javaOptions);
    for (size_t i = 0; options && i != options->size(); ++i) {
        const std::string& value = (*options)[i];
        const size_t line = f.lines.lineOf(SectionName::JavaOptions, PropertyName::javaOptions, i);
        const RuntimeOptions::Match option = RuntimeOptions::read(value);
        if (option.is(RuntimeOptions::Value::Splash)) {
            checkPath(f, "splash screen", option.value, line, false, false);
            continue;
        }
        if (option.is(RuntimeOptions::Value::RuntimeHome)) {
            f.fail(line, "java.home is the runtime's own directory, where it reads its own files "
                         "(its security settings, time zones, modules): given another, the "
                         "runtime fails at their first use, or reads another runtime's; remove "
                         "this line");
            continue;
        }
        // The absolute paths in an option's value (-javaagent:/a.jar=x, -Dp=/a:/b, a -cp's
        // value), the class path's with their manifests'.
        const RuntimeOptions::Match before =
            RuntimeOptions::read(i > 0 ? (*options)[i - 1] : std::string());
        const bool classPath = before.next && before.is(RuntimeOptions::Value::ClassPath);
        for (size_t start = 0; start < value.size();) {
            const size_t end = std::min(value.find_first_of("=:,", start), value.size());
            const std::string piece = value.substr(start, end - start);
            const std::string dir = FileUtils::dirname(FileUtils::removeTrailingSlash(piece));
            if (!piece.empty() && piece[0] == '/' && !FileUtils::isFileExists(piece) &&
                !dir.empty() && !FileUtils::isFileExists(dir)) {
                f.warn(line, "file " + quotedText(piece) + " does not exist, nor does its folder " +
                                 quotedText(dir) + ": what reads it goes on without it");
            } else if (!piece.empty() && piece[0] == '/') {
                judgeOutside(f, "file", piece, line,
                             classPath || tstrings::endsWith(piece, ".jar"));
            } else if (f.rec.start.doubleClick && !piece.empty() && piece[0] != '-' &&
                       isBundleFile(f, piece) &&
                       !FileUtils::isFileExists(FileUtils::combinePath("/", piece))) {
                // A file of the bundle named relative: found where the developer stands, not
                // where a double-click starts.
                f.warn(line, "file " + quotedText(piece) +
                                 relativePathText(f, piece, "start it with $APPDIR/"));
            }
            start = end + 1;
        }
    }
}
