#include "BundleCheck.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <sys/resource.h>
#include <sys/stat.h>

#include "ErrorHandling.h"
#include "Experiments.h"
#include "FileUtils.h"
#include "InfoPlist.h"
#include "Judging.h"
#include "JvmLauncher.h"
#include "LibraryArch.h"
#include "MacBundle.h"
#include "MacLauncher.h"
#include "PackageFile.h"
#include "RuntimeTrial.h"
#include "StandIn.h"
#include "StartEnvironment.h"
#include "SysInfo.h"
#include "tstrings.h"

namespace {

// True when path is of kind (S_IFREG, S_IFDIR), links followed.
bool isKind(const std::string& path, mode_t kind) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

// The names of the entries of dir of kind that name accepts, sorted.
std::vector<std::string> dirEntries(const std::string& dir, mode_t kind,
                                    const std::function<bool(const std::string&)>& name) {
    return namesIn(dir, [&](const std::string& entry) {
        return name(entry) && isKind(FileUtils::combinePath(dir, entry), kind);
    });
}

#ifdef __APPLE__
const char* const kThisSystem = "macOS";
#else
const char* const kThisSystem = "Linux";
#endif

// Why a failed trial is the failure of the check's own surroundings: a limit on its memory that
// the runtime ran into, a full disk; "" where nothing says so.
std::string machineCause(const LaunchRecord::Trial& trial) {
    struct rlimit limit = {};
    const bool limited = ::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
    const std::string memory =
        "its memory is limited to " + std::to_string(limit.rlim_cur >> 10) + " KB (ulimit -v)";
    if (trial.status == 0 || !trial.missing.empty()) {
        return std::string();
    }
    for (const std::string& line : trial.said) {
        for (const char* words : {"Could not reserve enough space", "insufficient memory",
                                  "Cannot allocate memory", "Unable to allocate"}) {
            if (limited && line.find(words) != std::string::npos) {
                return memory;
            }
        }
        if (line.find("No space left on device") != std::string::npos) {
            return "a disk it writes to is full";
        }
    }
    // A runtime that cannot map what it needs may also just crash.
    return limited && trial.status > 128 ? memory : std::string();
}

// The Info.plist in contentsDir; throws where it exists and cannot be read, as a Mac then does
// not open the bundle.
InfoPlist readInfoPlist(const std::string& contentsDir) {
    const std::string path = FileUtils::combinePath(contentsDir, "Info.plist");
    InfoPlist plist = InfoPlist::read(path);
    if (!plist.error.empty()) {
        const bool checksBound = plist.error.find("the check") != std::string::npos;
        throw makeException(tstrings::any()
                                << quotedText(path) << " cannot be read: " << plist.error
                                << (checksBound ? "" : "; a Mac does not open the bundle"),
                            SOURCE_CODE_POS);
    }
    return plist;
}

// path; throws where the launcher there cannot be started (a start would end with status 126).
std::string executable(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 0111) == 0) {
        throw makeException(tstrings::any() << "the launcher " << quotedText(path)
                                            << " cannot be executed: it has no execute permission",
                            SOURCE_CODE_POS);
    }
    return path;
}

} // namespace

BundleCheck::BundleCheck(const std::string& launcherPath, const std::vector<std::string>& args,
                         const Options& options)
    : cmdArgs(args), options(options) {
    rec.launcherPath = launcherPath;
}

std::string BundleCheck::findLauncher(const std::string& bundleOrLauncher) {
    struct stat st;
    if (bundleOrLauncher.empty() || ::stat(bundleOrLauncher.c_str(), &st) != 0) {
        throw makeException(tstrings::any()
                                << "no bundle or launcher at " << quotedText(bundleOrLauncher),
                            SOURCE_CODE_POS);
    }
    const std::string path = FileUtils::toAbsolutePath(bundleOrLauncher);
    if (!S_ISDIR(st.st_mode)) {
        readInfoPlist(FileUtils::dirname(FileUtils::dirname(path)));
        return executable(SysInfo::resolveExecutablePath(path));
    }
    // The system starts the file that Info.plist names, else the one named after the bundle.
    std::string root = FileUtils::removeTrailingSlash(path);
    if (!isKind(FileUtils::combinePath(root, "Contents"), S_IFDIR)) {
        const std::vector<std::string> apps =
            dirEntries(root, S_IFDIR, [](const std::string& name) {
                return tstrings::endsWith(name, ".app") && name.size() > 4;
            });
        if (apps.size() > 1) {
            throw makeException(tstrings::any() << quotedText(root) << " holds " << apps.size()
                                                << " bundles: name one of them ("
                                                << tstrings::join(apps, ", ") << ")",
                                SOURCE_CODE_POS);
        }
        if (apps.size() == 1) {
            root = FileUtils::combinePath(root, apps[0]);
        }
    }
    const std::string macosDir = FileUtils::combinePath(root, MacBundle::executableDirPath);
    std::string name =
        readInfoPlist(FileUtils::combinePath(root, "Contents")).string("CFBundleExecutable");
    if (name.empty()) {
        name = FileUtils::basename(root);
        if (tstrings::endsWith(name, ".app")) {
            name.resize(name.size() - 4);
        }
    }
    std::string launcher = FileUtils::combinePath(macosDir, name);
    if (!isKind(launcher, S_IFREG)) {
        // Else the only file there.
        const std::vector<std::string> files =
            dirEntries(macosDir, S_IFREG, [](const std::string& file) { return file[0] != '.'; });
        launcher = files.size() == 1 ? FileUtils::combinePath(macosDir, files[0]) : "";
    }
    if (launcher.empty()) {
        throw makeException(tstrings::any()
                                << "no launcher in " << quotedText(root) << ": expected "
                                << quotedText(FileUtils::combinePath(macosDir, name)),
                            SOURCE_CODE_POS);
    }
    return executable(SysInfo::resolveExecutablePath(launcher));
}

namespace {

// The largest configuration and package file the check reads (and prints lines of).
const size_t kMaxCfgSize = 16u << 20;
const size_t kMaxPackageSize = 1u << 20;

// Throws where the file at path, which the check reads and prints from, leads out of border
// (named borderName) through a link, or is a regular file larger than limit.
void requireOwnFile(const std::string& what, const std::string& path, const std::string& border,
                    const char* borderName, size_t limit) {
    const std::string real = outOfBundle(path, border);
    if (!real.empty()) {
        throw makeException(tstrings::any()
                                << what << " " << quotedText(path) << " leads out of " << borderName
                                << ", to " << quotedText(real) << ": the check does not read it",
                            SOURCE_CODE_POS);
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<unsigned long long>(st.st_size) > limit) {
        throw makeException(tstrings::any() << what << " " << quotedText(path) << " is larger than "
                                            << (limit >> 20) << " MB, the most the check reads",
                            SOURCE_CODE_POS);
    }
}

// Takes what the launcher reports into the record; the lines go to the diagnostics, which
// judge them as the parser reads them.
class Recorder : public MacLauncher::Observer {
public:
    Recorder(LaunchRecord& rec, CfgDiagnostics& lines) : rec(rec), lines(lines) {}

    void onBundle(const MacBundle& bundle) override {
        // Built first and moved in: clang with libstdc++ takes the nested struct, with its
        // member initializers, for one that cannot be built without arguments.
        LaunchRecord::Bundle& b = rec.bundle.emplace(LaunchRecord::Bundle());
        b.rootDir = bundle.rootDir();
        b.appDir = bundle.appDir();
        b.packageFile = bundle.packageFilePath();
        b.packageFileExists = FileUtils::isFileExists(b.packageFile);
        b.packageName = bundle.packageName();
    }
    void onHomeDir(bool isSet, const std::string& value) override {
        rec.bundle->readsHome = true;
        rec.bundle->homeSet = isSet;
        rec.bundle->home = value;
    }

    void onLine(size_t lineNo, const std::string& line) override { lines.onLine(lineNo, line); }
    void onSection(size_t lineNo, const std::string& name,
                   const CfgFile::SectionId* section) override {
        lines.onSection(lineNo, name, section);
    }
    void onProperty(size_t lineNo, const std::string& name, const std::string& value,
                    const CfgFile::SectionId* section,
                    const CfgFile::PropertyId* property) override {
        lines.onProperty(lineNo, name, value, section, property);
    }
    void onCommit(const CfgFile::SectionId& section) override { lines.onCommit(section); }

    void onCfgFileCandidate(const std::string& path, bool exists) override {
        cfg().candidates.emplace_back(path, exists);
    }
    void onCfgFile(const std::string& path, const std::string& bundleCfgFile) override {
        cfg().path = path;
        cfg().bundlePath = bundleCfgFile;
        // The check prints the lines it reads: only those of a file where the launch looks for
        // it (the bundle, the user's home folder), and within bounds.
        const bool own = path == bundleCfgFile;
        requireOwnFile("the configuration", path, own ? rec.bundle->rootDir : rec.bundle->home,
                       own ? "the bundle" : "the user's home folder", kMaxCfgSize);
    }
    void onMacros(const CfgFile::Macros&) override { rec.expansion.emplace(); }
    void onExpanded(const CfgFile::SectionId& section, const CfgFile::PropertyId& property,
                    size_t index, const std::string& from, const std::string& to) override {
        rec.expansion->changes.push_back({ValueRef{section, property, index}, from, to});
    }
    void onUnresolved(const CfgFile::SectionId& section, const CfgFile::PropertyId& property,
                      size_t index, const std::string& reference,
                      const std::string& name) override {
        rec.expansion->unresolved.push_back({ValueRef{section, property, index}, reference, name});
    }
    void onEnvReference(const CfgFile::SectionId& section, const CfgFile::PropertyId& property,
                        size_t index, const std::string& name) override {
        rec.expansion->fromEnvironment.emplace_back(ValueRef{section, property, index}, name);
    }
    void onUnclosed(const CfgFile::SectionId& section, const CfgFile::PropertyId& property,
                    size_t index) override {
        rec.expansion->unclosed.push_back(ValueRef{section, property, index});
    }
    void onCfgFileExpanded(const CfgFile& cfgFile) override { rec.expanded = cfgFile; }
    void onArgsReplaced(const std::vector<std::string>&) override { rec.argsReplaced = true; }
    void onLibEnvVariable(const std::string& name, bool isSet, const std::string& value,
                          bool listsAppDir) override {
        rec.libEnv = LaunchRecord::LibEnvVariable{name, isSet, value, listsAppDir};
    }
    void onRuntimeDir(const std::string& dir, bool configured) override {
        rec.runtime = LaunchRecord::Runtime{dir, configured, {}};
    }
    void onJvmLibCandidate(const std::string& path, bool exists) override {
        rec.runtime->libs.emplace_back(path, exists);
    }
    void onArgument(size_t argIndex, const CfgFile::SectionId& section,
                    const CfgFile::PropertyId& property, size_t index) override {
        if (origins.size() <= argIndex) {
            origins.resize(argIndex + 1);
        }
        origins[argIndex] = ValueRef{section, property, index};
    }

    // Where each of count arguments comes from.
    std::vector<std::optional<ValueRef>> takeOrigins(size_t count) {
        origins.resize(count);
        return std::move(origins);
    }

private:
    LaunchRecord::CfgChoice& cfg() {
        if (!rec.cfg) {
            rec.cfg.emplace();
        }
        return *rec.cfg;
    }

    LaunchRecord& rec;
    CfgDiagnostics& lines;
    std::vector<std::optional<ValueRef>> origins;
};

} // namespace

void BundleCheck::run() {
    Recorder recorder(rec, lines);
    rec.start = StartEnvironment::of(rec.launcherPath, options.doubleClick);
    StartEnvironment::set(rec.start, options.startSettings);
    const StartEnvironment::Scope scope(rec.start);
    // The package file's first line is the package name, which the report prints.
    const std::string root =
        FileUtils::dirname(FileUtils::dirname(FileUtils::dirname(rec.launcherPath)));
    requireOwnFile("the package file",
                   PackageFile::pathInAppDir(FileUtils::combinePath(root, MacBundle::appDirPath)),
                   root, "the bundle", kMaxPackageSize);
    try {
        // Exactly what the launcher does, with its trace when debugging is on.
        const std::unique_ptr<Jvm> jvm(
            MacLauncher::initJvmLauncher(rec.launcherPath, cmdArgs, &recorder));
        rec.launch = LaunchRecord::Launch{jvm->getPath(), jvm->getArgs(),
                                          recorder.takeOrigins(jvm->getArgs().size()),
                                          jvm->getEnvVarNames(), jvm->getEnvVarValues()};
        // A bundle for another system: neither its launcher nor its runtime can start here.
        const LibraryArch launcher = LibraryArch::ofFile(rec.launcherPath);
        if (!launcher.runsHere()) {
            rec.handOff = "not tried: the launcher cannot run on this machine";
            startTrial("the launcher is a " + launcher.format + " file for " +
                       tstrings::join(launcher.archs, ", ") + " and cannot run on this machine (" +
                       kThisSystem + " " + LibraryArch::ownArch() + ")");
            judge();
            return;
        }
        // The library is read, never loaded here: its code (a constructor, say) runs only in the
        // trial. Where it certainly cannot be loaded, the launch fails.
        const std::string& libPath = rec.launch->libPath;
        const LibraryArch lib = LibraryArch::ofFile(libPath);
        if (options.trial) {
            startTrial(lib.runsHere() ? "" : "its launch library cannot be loaded on this machine");
        }
        const std::optional<bool> entry =
            lib.runsHere()
                ? LibraryArch::definesSymbol(libPath, "JLI_Launch", LibraryArch::ownArch())
                : std::optional<bool>(false);
        if (lib.format.empty() || !lib.runsHere() || entry == false) {
            rec.handOff =
                "launch library " + quotedText(libPath) +
                (lib.format.empty() ? " cannot be loaded: it is no ELF, Mach-O or universal file"
                 : !lib.runsHere()
                     ? " cannot be loaded: it is a " + lib.format + " file for " +
                           tstrings::join(lib.archs, ", ") + ", and this machine runs " +
                           kThisSystem + " " + LibraryArch::ownArch()
                     : " cannot be used: its symbol table has no JLI_Launch");
            throw makeException(*rec.handOff, SOURCE_CODE_POS);
        }
        rec.handOff = entry ? "has JLI_Launch (read from its symbol table: only the trial loads it)"
                            : "not read: its symbol table cannot be read (only the trial loads it)";
        rec.handOffOk = true;
    } catch (...) {
        judge();
        throw;
    }
    judge();
}

void BundleCheck::startTrial(const std::string& cannotRun) {
    const std::function<size_t(const ValueRef&)> lineOf = [this](const ValueRef& v) {
        return lineOfValue(lines, v);
    };
    const std::string runtimeHome = FileUtils::combinePath(rec.runtime->dir, "Contents/Home");
    const std::string standIn = cannotRun.empty() ? "" : StandIn::find(options.trialRuntime);
    const std::string whyNot = StandIn::whyNot(runtimeHome, standIn);
    if (!cannotRun.empty() && (!options.trial || !whyNot.empty())) {
        rec.trial.emplace(LaunchRecord::Trial());
        rec.trial->missing = cannotRun + (options.trial ? "; " + whyNot : std::string());
        return;
    }
    if (!cannotRun.empty()) {
        rec.standIn = StandIn::note(*rec.launch, runtimeHome, standIn, lineOf);
        rec.standInHome = standIn;
    }
    trialStart = [this, runtimeHome, standIn](const LaunchRecord::Launch& l, unsigned seconds) {
        return RuntimeTrial::run(standIn.empty() ? l : StandIn::adapt(l, runtimeHome, standIn),
                                 rec.start, std::min(seconds, options.trialSeconds));
    };
    rec.trial = trialStart(*rec.launch, options.trialSeconds);
    if (rec.trial->keeperLost) {
        throw makeException(tstrings::any() << "the runtime's verdict is missing: "
                                            << rec.trial->missing << "; the bundle is not judged",
                            SOURCE_CODE_POS);
    }
    const std::string cause = machineCause(*rec.trial);
    if (!cause.empty()) {
        rec.trial->missing = "the runtime fails on this machine as the check runs (" + cause +
                             "): " + quotedLines(rec.trial->said) +
                             "; that is no configuration line's doing";
    }
    if (rec.trial->missing.empty() && !rec.trial->said.empty()) {
        rec.causes = Experiments::causes(*rec.launch, *rec.trial, lineOf, trialStart);
    }
}

void BundleCheck::runCfgFile(const std::string& path) {
    Recorder recorder(rec, lines);
    std::string name = FileUtils::basename(path);
    name.resize(name.size() - 4);
    // The bundle's directories are not known yet: their macros stand for themselves.
    rec.launcherPath = "$BINDIR/" + name;
    CfgFile::Macros macros = {
        {"APPDIR", "$APPDIR"}, {"BINDIR", "$BINDIR"}, {"ROOTDIR", "$ROOTDIR"}};
    rec.cfg = LaunchRecord::CfgChoice{{}, path, path};
    recorder.onMacros(macros);
    const std::string absolutePath = FileUtils::toAbsolutePath(path);
    rec.start = StartEnvironment::of(rec.launcherPath, options.doubleClick);
    const StartEnvironment::Scope scope(rec.start);
    try {
        const CfgFile expanded =
            CfgFile::load(absolutePath, &recorder).expandMacros(macros, &recorder);
        rec.expanded = expanded;
        Jvm jvm;
        jvm.addArgument(rec.launcherPath);
        jvm.initFromConfigFile(expanded, rec.launcherPath, &recorder);
        rec.launch = LaunchRecord::Launch{
            "", jvm.getArgs(), recorder.takeOrigins(jvm.getArgs().size()), {}, {}};
    } catch (...) {
        judge();
        throw;
    }
    judge();
}

void BundleCheck::judge() {
    Findings f(rec, lines);
    judgeValues(f);
    judgeCommandLine(f);
    reads = LaunchReads::reads(rec, lines);
    // A configuration on its own names files of a bundle that does not exist yet.
    if (rec.bundle) {
        judgeOutside(f, reads);
        judgeFiles(f);
        judgeRuntime(f);
        judgeBorders(f);
    }
    if (rec.trial && (rec.handOffOk || !rec.trial->missing.empty() || !rec.standIn.empty())) {
        judgeTrial(f);
        if (trialStart && rec.trial->missing.empty() && rec.trial->status == 0) {
            judgeSilent(f, trialStart);
        }
    }
    found = lines.diagnostics();
    found.insert(found.end(), f.found.begin(), f.found.end());
    std::stable_sort(found.begin(), found.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
    notes = f.notes;
}

bool BundleCheck::hasErrors() const {
    return std::any_of(found.begin(), found.end(), [](const Diagnostic& d) { return d.error; });
}

void BundleCheck::printReport(std::ostream& out) const {
    out << "launcher:          " << visibleText(rec.launcherPath) << "\n";
    out << "start judged:      "
        << (rec.start.doubleClick
                ? std::string("a double-click (launchd's environment and the bundle's "
                              "LSEnvironment, working directory /)")
                : "typed in this shell (its environment, working directory " +
                      visibleText(rec.start.workDir) + ")")
        << "\n";
    if (const std::optional<LaunchRecord::Bundle>& b = rec.bundle) {
        out << "bundle:            " << visibleText(b->rootDir) << "\n";
        if (!b->packageFileExists) {
            out << "package:           none (no " << visibleText(b->packageFile)
                << ": no per-user configuration is looked for)\n";
        } else if (b->packageName.empty()) {
            out << "package:           none (" << visibleText(b->packageFile)
                << " has an empty first line: no per-user configuration is looked for)\n";
        } else {
            out << "package:           " << quotedText(b->packageName) << " (from "
                << visibleText(b->packageFile) << ")\n";
        }
        if (b->readsHome && !b->homeSet) {
            out << "HOME:              not set: no per-user configuration is looked for\n";
        } else if (b->readsHome) {
            out << "HOME:              " << quotedText(b->home) << "\n";
        }
    }
    if (const std::optional<LaunchRecord::CfgChoice>& c = rec.cfg) {
        out << "configuration:     " << visibleText(c->path) << "\n";
        if (!rec.bundle) {
            out << "                   on its own: the bundle's files are not looked at\n";
        } else if (c->path != c->bundlePath) {
            out << "                   the per-user file: it replaces "
                << visibleText(c->bundlePath) << "\n";
        } else if (!c->candidates.empty()) {
            out << "                   the bundle's own: there is no "
                << visibleText(c->candidates[0].first) << "\n";
        } else {
            out << "                   the bundle's own\n";
        }
    }
    if (rec.expansion && !rec.expansion->changes.empty()) {
        out << "expanded values:\n";
        for (const LaunchRecord::Expansion::Change& c : rec.expansion->changes) {
            out << "  line " << lines.lineOf(c.value.section, c.value.property, c.value.index)
                << ", [" << c.value.section.name() << "] " << c.value.property.name() << ":\n"
                << "    " << visibleText(c.from) << "\n"
                << "    -> " << visibleText(c.to) << "\n";
        }
    }
    if (const std::optional<LaunchRecord::Runtime>& r = rec.runtime) {
        out << "runtime:           " << visibleText(r->dir)
            << (r->configured ? " (app.runtime)" : " (the bundle's own: no app.runtime)") << "\n";
        if (!rec.launch) {
            out << "launch library:    none: not one of these exists:\n";
            for (const std::pair<std::string, bool>& lib : r->libs) {
                out << "                   " << visibleText(lib.first) << "\n";
            }
        }
    }
    if (const std::optional<LaunchRecord::Launch>& l = rec.launch) {
        if (!l->libPath.empty()) {
            const LibraryArch arch = LibraryArch::ofFile(l->libPath);
            out << "launch library:    " << visibleText(l->libPath) << " ("
                << (arch.format.empty() ? std::string("unknown format")
                                        : arch.format + " " + tstrings::join(arch.archs, ", "))
                << ")\n";
        }
        if (rec.handOff) {
            out << "library check:     " << visibleText(*rec.handOff) << "\n";
        }
        if (const std::optional<LaunchRecord::Trial>& t = rec.trial) {
            out << "runtime's verdict: "
                << (!t->missing.empty() ? "missing: " + t->missing
                    : t->status == 0
                        ? std::string("starts (a dry run)")
                        : "fails (a dry run ended with status " + std::to_string(t->status) + ")")
                << "\n";
        }
        if (rec.libEnv && rec.libEnv->listsAppDir) {
            out << rec.libEnv->name << ": " << quotedText(rec.libEnv->value)
                << " (already lists the application directory: left as it is)\n";
        }
        for (size_t i = 0; i != l->envNames.size(); ++i) {
            out << l->envNames[i] << ": " << quotedText(l->envValues[i])
                << (rec.libEnv && rec.libEnv->isSet
                        ? " (set by the launcher: the application directory appended)\n"
                        : " (set by the launcher: unset here, so \":\" and the "
                          "application directory)\n");
        }
        out << "java command line (" << l->args.size() << " arguments):\n";
        for (const std::string& arg : l->args) {
            out << "  " << visibleText(arg.c_str()) << "\n";
        }
    }
}
