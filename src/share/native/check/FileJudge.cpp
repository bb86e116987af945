// The files and directories that the values name, as the runtime reads them.

#include <algorithm>

#include "FileUtils.h"
#include "JarManifest.h"
#include "Judging.h"
#include "LibraryArch.h"
#include "tstrings.h"

namespace {

// True when path, relative, names a file of the bundle's application or root directory.
bool isBundleFile(const Findings& f, const std::string& path) {
    return f.rec.bundle &&
           (FileUtils::isFileExists(FileUtils::combinePath(f.rec.bundle->appDir, path)) ||
            FileUtils::isFileExists(FileUtils::combinePath(f.rec.bundle->rootDir, path)));
}

// The paths of the entries of dir whose names end in one of the endings, sorted.
std::vector<std::string> filesIn(const std::string& dir, std::vector<const char*> endings) {
    std::vector<std::string> found = namesIn(dir, [&](const std::string& name) {
        return std::any_of(endings.begin(), endings.end(),
                           [&](const char* end) { return tstrings::endsWith(name, end); });
    });
    for (std::string& name : found) {
        name = FileUtils::combinePath(dir, name);
    }
    return found;
}

// Fails each jar of a class path entry (a file, or the jars of "dir/*") that is no zip.
void judgeZips(Findings& f, const std::string& what, const std::string& path, size_t line) {
    const std::vector<std::string> jars =
        tstrings::endsWith(path, "/*") ? filesIn(path.substr(0, path.size() - 2), {".jar", ".JAR"})
                                       : std::vector<std::string>{path};
    for (const std::string& jar : jars) {
        if (!JarManifest::isZip(jar)) {
            f.fail(line, what + " " + quotedText(jar) +
                             " is no jar or zip file (a Git LFS pointer or a saved web page may "
                             "have taken its place): the runtime passes over it without a word, "
                             "and its classes are missing at their first use");
        }
    }
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
        // Found only where the developer stands: a failure that no dry run reaches.
        const bool onlyThere =
            classPath && !FileUtils::isFileExists(path) &&
            FileUtils::isFileExists(FileUtils::combinePath(f.rec.start.shellDir, path));
        f.add(line,
              onlyThere ? text + "; it is found only from " + quotedText(f.rec.start.shellDir) +
                              ", and its classes are missing at their first use"
                        : text,
              onlyThere);
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
        if (classPath) {
            judgeZips(f, what, path, line);
        }
        return;
    }
    std::string text = what + " " + quotedText(path) + " does not exist";
    if (path.find(';') != std::string::npos) {
        text += " (entries are separated by \":\", not \";\")";
    }
    f.add(line, certain ? text + ": the runtime cannot start it" : text, certain);
}

// The launcher's header; where it tells nothing, this machine's own.
LibraryArch launcherArch(const Findings& f) {
    const LibraryArch launcher = LibraryArch::ofFile(f.rec.launcherPath);
    return launcher.format.empty() ? LibraryArch::own() : launcher;
}

// The native libraries in dir, named as the launcher's system loads them.
std::vector<std::string> librariesIn(const std::string& dir, const LibraryArch& launcher) {
    return launcher.format == "ELF" ? filesIn(dir, {".so"}) : filesIn(dir, {".dylib", ".jnilib"});
}

std::string describe(const LibraryArch& file) {
    return (file.format == "ELF" ? "an " : "a ") + file.format + " file for " +
           tstrings::join(file.archs, ", ");
}

// Warns about each library in dir that the launcher cannot load; how many it can load.
size_t judgeLibraries(Findings& f, const std::string& dir, size_t line,
                      const LibraryArch& launcher) {
    size_t loads = 0;
    for (const std::string& lib : librariesIn(dir, launcher)) {
        const LibraryArch arch = LibraryArch::ofFile(lib);
        // A library named after its architecture is one of several, chosen by the application.
        const std::string name = FileUtils::basename(lib);
        const bool named = std::any_of(arch.archs.begin(), arch.archs.end(), [&](const auto& a) {
            return name.find(a) != std::string::npos ||
                   name.find(a == "arm64"    ? "aarch64"
                             : a == "x86_64" ? "amd64"
                                             : a) != std::string::npos;
        });
        if (named) {
            continue;
        }
        if (!arch.cannotLoadInto(launcher)) {
            ++loads;
            continue;
        }
        f.warn(line, "native library " + quotedText(lib) + " is " + describe(arch) +
                         ", but the launcher is " + describe(launcher) +
                         ": it cannot be loaded, and the application fails with "
                         "UnsatisfiedLinkError at its first use");
    }
    return loads;
}

// The directories of java.library.path: there, and holding libraries the launcher can load.
void judgeLibraryPath(Findings& f, const std::string& list, size_t line) {
    const LibraryArch launcher = launcherArch(f);
    for (const std::string& dir : entriesOf(list)) {
        const std::string what = "library path entry " + quotedText(dir);
        if (dir[0] == '$' || dir[0] == '~') {
            continue; // a reference left as written, said already
        }
        if (!FileUtils::isDirSeparator(dir[0])) {
            f.warn(line, what + relativePathText(f, dir, "start it with $APPDIR/"));
        } else if (!FileUtils::isFileExists(dir)) {
            f.warn(line, what + " does not exist: the runtime passes over it without a word");
        } else if (librariesIn(dir, launcher).empty()) {
            f.warn(line, what + " holds no native library (" +
                             (launcher.format == "ELF" ? "lib<name>.so" : "lib<name>.dylib") +
                             "): System.loadLibrary finds none there");
        } else if (!judgeLibraries(f, dir, line, launcher)) {
            f.fail(line, what + " holds no library that the launcher can load");
        }
    }
}

// The path that an option's value is by its meaning, "" for none: a file the runtime writes,
// -Xlog's output file, a property that is evidently a file's name (a log file, a file in a
// folder, a path from "." or "..").
std::string pathByMeaning(const RuntimeOptions::Match& option) {
    std::string path;
    if (option.is(RuntimeOptions::Value::Written)) {
        path = option.value;
    } else if (option.is(RuntimeOptions::Value::Log)) {
        // what:output:decorators:options; the output is stdout, stderr or [file=]name
        std::vector<std::string> parts;
        tstrings::split(parts, option.value, ":");
        path = parts.size() > 1 ? parts[1] : "";
        path = tstrings::startsWith(path, "file=") ? path.substr(5) : path;
        if (path.size() > 1 && path[0] == '"' && path.back() == '"') {
            path = path.substr(1, path.size() - 2);
        }
        path = path == "stdout" || path == "stderr" ? "" : path;
    } else if (option.is(RuntimeOptions::Value::Property)) {
        const size_t eq = option.value.find('=');
        const std::string value = eq == std::string::npos ? "" : option.value.substr(eq + 1);
        const bool inFolder =
            value.find('/') != std::string::npos && value.find_first_of(":;=") == std::string::npos;
        const size_t dot = value.rfind('.');
        const std::string ext = dot == std::string::npos ? "" : value.substr(dot);
        if (ext == ".log" || tstrings::startsWith(value, "./") ||
            tstrings::startsWith(value, "../") ||
            (inFolder && (ext == ".properties" || ext == ".xml" || ext == ".conf" ||
                          ext == ".json" || ext == ".txt"))) {
            path = value;
        }
    }
    return path;
}

} // namespace

void judgeFiles(Findings& f) {
    if (!f.rec.expanded) {
        return;
    }
    // The launcher puts the application directory on the library search path.
    if (f.rec.bundle) {
        judgeLibraries(f, f.rec.bundle->appDir, f.startLine(), launcherArch(f));
    }
    // Each entry of a list's values; else the last value, which the launcher takes.
    const auto paths = [&](const CfgFile::PropertyId& property, const std::string& what, bool list,
                           bool certain) {
        const CfgFile::Values* v = f.values(SectionName::Application, property);
        for (size_t i = v && !list && !v->empty() ? v->size() - 1 : 0; v && i < v->size(); ++i) {
            std::vector<std::string> entries(1, (*v)[i]);
            if (list) {
                entries.clear();
                tstrings::split(entries, (*v)[i], std::string(1, FileUtils::pathSeparator));
            }
            for (const std::string& entry : entries) {
                checkPath(f, what, entry, f.lines.lineOf(SectionName::Application, property, i),
                          property == PropertyName::classpath, certain);
            }
        }
    };
    paths(PropertyName::classpath, "class path entry", true, false);
    paths(PropertyName::modulepath, "module path entry", true, false);
    // The launcher starts the main jar when no main class or module comes before it.
    paths(PropertyName::mainjar, "main jar", false,
          !f.values(SectionName::Application, PropertyName::mainclass) &&
              !f.values(SectionName::Application, PropertyName::mainmodule));
    paths(PropertyName::splash, "splash screen", false, false);

    // The launcher does not look for a splash screen given straight to the runtime.
    const CfgFile::Values* options = f.values(SectionName::JavaOptions, PropertyName::javaOptions);
    for (size_t i = 0; options && i != options->size(); ++i) {
        const std::string& value = (*options)[i];
        const size_t line = f.lines.lineOf(SectionName::JavaOptions, PropertyName::javaOptions, i);
        const RuntimeOptions::Match option = RuntimeOptions::read(value);
        if (option.is(RuntimeOptions::Value::Splash)) {
            checkPath(f, "splash screen", option.value, line, false, false);
            continue;
        }
        if (option.is(RuntimeOptions::Value::LibraryPath)) {
            judgeLibraryPath(f, option.value, line);
            continue;
        }
        // A relative path by the option's meaning that names no file of the bundle.
        const std::string meant = pathByMeaning(option);
        if (f.rec.start.doubleClick && !meant.empty() && meant[0] != '/' && meant[0] != '$' &&
            meant[0] != '~' && !isBundleFile(f, meant)) {
            f.warn(line, "file " + quotedText(meant) +
                             relativePathText(f, meant, "start it with $APPDIR/ or $HOME/"));
        }
        if (option.is(RuntimeOptions::Value::RuntimeHome)) {
            continue; // its own finding
        }
        // The absolute paths in an option's value (-javaagent:/a.jar=x, -Dp=/a:/b, a -cp's).
        const RuntimeOptions::Match before =
            RuntimeOptions::read(i > 0 ? (*options)[i - 1] : std::string());
        const bool classPath = before.next && before.is(RuntimeOptions::Value::ClassPath);
        for (const std::string& piece : entriesOf(value, "=:,")) {
            const std::string dir = FileUtils::dirname(FileUtils::removeTrailingSlash(piece));
            if (piece[0] == '/' && !FileUtils::isFileExists(piece) && !dir.empty() &&
                !FileUtils::isFileExists(dir)) {
                f.warn(line, "file " + quotedText(piece) + " does not exist, nor does its folder " +
                                 quotedText(dir) + ": what reads it goes on without it");
            } else if (piece[0] == '/') {
                if (classPath) {
                    judgeZips(f, "class path entry", piece, line);
                }
            } else if (f.rec.start.doubleClick && piece[0] != '-' && isBundleFile(f, piece) &&
                       !FileUtils::isFileExists(FileUtils::combinePath("/", piece))) {
                // A file of the bundle named relative, which a double-click does not find.
                f.warn(line, "file " + quotedText(piece) +
                                 relativePathText(f, piece, "start it with $APPDIR/"));
            }
        }
    }
}
