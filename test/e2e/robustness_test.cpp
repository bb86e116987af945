// Bad, odd and large input for the whole launcher, started as a process of its own: whatever it
// is given, it either reaches the runtime's launch library or ends with one line on standard
// error and status 1, never by a signal or a hang.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "LauncherRun.h"
#include "TestUtils.h"

namespace {

// The bytes of s with everything but printable ASCII as \xNN, for assertion messages.
std::string showBytes(const std::string& s) {
    std::string result;
    for (const char c : s) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7f && b != '\\') {
            result += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", b);
            result += hex;
        }
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Garbage configurations

// Pieces the generator strings together: the bytes that mean something to the parser and to
// the expansion, and fragments of real names, so that some lines are recognised.
const std::vector<std::string>& garbagePieces() {
    static const std::vector<std::string> pieces = {"[",
                                                    "]",
                                                    "=",
                                                    "$",
                                                    "{",
                                                    "}",
                                                    "\\",
                                                    "\r",
                                                    "\n",
                                                    std::string(1, '\0'),
                                                    ";",
                                                    " ",
                                                    "Application",
                                                    "JavaOptions",
                                                    "ArgOptions",
                                                    "AppCDSJavaOptions",
                                                    "app.classpath",
                                                    "app.mainclass",
                                                    "app.mainjar",
                                                    "app.mainmodule",
                                                    "app.modulepath",
                                                    "app.splash",
                                                    "app.version",
                                                    "java-options",
                                                    "arguments",
                                                    "APPDIR",
                                                    "BINDIR",
                                                    "ROOTDIR",
                                                    "HOME",
                                                    "PATH",
                                                    "\n[Application]\n",
                                                    "\n[JavaOptions]\n",
                                                    "\n[ArgOptions]\n",
                                                    "\napp.classpath=",
                                                    "\napp.mainclass=",
                                                    "\napp.splash=",
                                                    "\njava-options=",
                                                    "\narguments=",
                                                    "\n[Application",
                                                    "${",
                                                    "$APPDIR",
                                                    "${ROOTDIR}",
                                                    "${HOME}",
                                                    "$$",
                                                    "\\=",
                                                    "\r\n",
                                                    "\napp.runtime=",
                                                    "\napp.runtime=$ROOTDIR/Contents/runtime\n"};
    return pieces;
}

// One configuration file from the generator: its exact bytes depend only on the generator's
// state, on every platform (std::mt19937's output is fixed by the standard; its distributions
// are not, so none is used).
std::string garbageConfig(std::mt19937& rng) {
    const std::vector<std::string>& pieces = garbagePieces();
    std::string content;
    const uint32_t count = rng() % 160;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t kind = rng() % 100;
        if (kind < 50) {
            // The short, meaningful pieces: brackets, "=", "$", braces, backslash, CR, LF, NUL.
            content += pieces[rng() % 12];
        } else if (kind < 65) {
            content += static_cast<char>(0x80 + rng() % 0x80);
        } else if (kind < 85) {
            content += pieces[12 + rng() % (pieces.size() - 12)];
        } else {
            content += static_cast<char>(rng() % 0x100);
        }
    }
    return content;
}

// The number of the first line that starts with "[" and has no "]" (lines end at line feeds),
// or 0 when there is none: that line alone makes a configuration unparseable.
size_t firstUnclosedHeader(const std::string& content) {
    size_t number = 0;
    for (size_t start = 0; start < content.size();) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        ++number;
        if (content[start] == '[' && content.find(']', start) >= end) {
            return number;
        }
        start = end + 1;
    }
    return 0;
}

class GarbageConfigTest : public LauncherTest, public ::testing::WithParamInterface<uint32_t> {};

const int kGarbageFilesPerSeed = 100;

TEST_P(GarbageConfigTest, EndsWithLaunchOrOneLine) {
    const uint32_t seed = GetParam();
    layOut(kDemoCfg);
    std::mt19937 rng(seed);
    int launched = 0;
    int unparseable = 0;
    for (int file = 0; file < kGarbageFilesPerSeed; ++file) {
        const std::string content = garbageConfig(rng);
        // Every third launch also has a package file of garbage, which names the user's
        // configuration directory.
        const std::string package = file % 3 == 2 ? garbageConfig(rng) : std::string();
        const std::string where = "seed " + std::to_string(seed) + " file " + std::to_string(file) +
                                  ": " + showBytes(content) +
                                  (package.empty() ? "" : ", package: " + showBytes(package));
        writeFile(cfgPath, content);
        if (package.empty()) {
            ::unlink((appDir + "/.package").c_str());
        } else {
            writeFile(appDir + "/.package", package);
        }
        ::unlink(recordPath.c_str());
        // Every fourth launch logs, so that the garbage goes through the log messages too.
        const bool debug = file % 4 == 3;
        if (debug) {
            env["VORLANE_DEBUG"] = "true";
        } else {
            env.erase("VORLANE_DEBUG");
        }

        const Outcome o = launch();
        ASSERT_FALSE(o.hung) << where;
        ASSERT_FALSE(o.signaled) << "signal " << o.status - 128 << ", " << where;
        ASSERT_TRUE(o.status == 0 || o.status == 1) << o.status << ", " << where;
        EXPECT_EQ("", o.out) << where;
        const std::vector<std::vector<std::string>> r = records();

        // With debug output, every line is a log line or a hand-off line, except the error's
        // own line, which comes right after the one error report.
        std::string err = o.err;
        if (debug) {
            std::vector<std::string> errLines = lines(o.err);
            err.clear();
            for (size_t i = 0; i < errLines.size(); ++i) {
                if (errLines[i].rfind("[ERROR] ", 0) == 0) {
                    EXPECT_EQ("", err) << "a second error report, " << where;
                    EXPECT_EQ("[ERROR] app.cpp:", errLines[i].substr(0, 16)) << where;
                    ASSERT_LT(i + 1, errLines.size()) << where;
                    err = errLines[i + 1] + "\n";
                    errLines.erase(errLines.begin() + i, errLines.begin() + i + 2);
                }
            }
            for (const std::string& line : errLines) {
                EXPECT_TRUE(line.rfind("[TRACE] ", 0) == 0 || line.rfind("[WARNING] ", 0) == 0 ||
                            line.rfind("jli ", 0) == 0 || line.rfind("env var[", 0) == 0)
                    << showBytes(line) << ", " << where;
            }
        }

        const size_t unclosed = firstUnclosedHeader(content);
        if (unclosed != 0) {
            ++unparseable;
            EXPECT_EQ("Error parsing [" + cfgPath + "] file at " + std::to_string(unclosed) +
                          ": Missing ']' character\n",
                      err)
                << where;
            EXPECT_TRUE(r.empty()) << where;
        } else if (o.status == 0) {
            ++launched;
            EXPECT_EQ("", err) << where;
            ASSERT_EQ(1u, r.size()) << where;
            ASSERT_LE(6u, r[0].size()) << where;
            EXPECT_EQ("arg=" + exe, r[0][2]) << where;
            EXPECT_NE(r[0].end(),
                      std::find(r[0].begin(), r[0].end(), "arg=-Dvorlane.app-path=" + exe))
                << where;
            EXPECT_EQ("argv_terminated=1", r[0][r[0].size() - 4]) << where;
        } else {
            EXPECT_EQ(1u, lines(err).size()) << showBytes(o.err) << ", " << where;
            EXPECT_EQ('\n', err.empty() ? '\0' : err.back()) << where;
            EXPECT_TRUE(r.empty()) << where;
        }

        // The check goes the same way: the same arguments, or the same failure line.
        if (!debug) {
            const Outcome c = run(APPLAUNCHER_CHECK_PATH, {"--args", root}, env);
            ASSERT_FALSE(c.hung || c.signaled) << c.status << ", " << where;
            if (o.status == 0) {
                // Status 1 here is a finding that the runtime would fail, never the launcher's
                // own failure line.
                EXPECT_EQ("", c.err) << where;
                std::vector<std::string> args;
                const std::vector<std::string> none;
                for (const std::string& line : r.empty() ? none : r[0]) {
                    if (line.compare(0, 4, "arg=") == 0) {
                        args.push_back(line.substr(4));
                    }
                }
                EXPECT_EQ(args, lines(c.out)) << where;
            } else {
                EXPECT_EQ(1, c.status) << where;
                EXPECT_EQ(o.err, c.err) << where;
            }
        }
    }
    // The generator covers both ends: launches that reach the runtime, and files the parser
    // rejects.
    EXPECT_LT(0, launched) << "seed " << seed;
    EXPECT_LT(0, unparseable) << "seed " << seed;
}

INSTANTIATE_TEST_SUITE_P(Seeds, GarbageConfigTest, ::testing::Values(1u, 2u, 3u, 4u));

// ---------------------------------------------------------------------------------------------
// Files that are missing, unreadable, of the wrong kind or behind broken links

class FileSystemTest : public LauncherTest {
protected:
    // The user configuration directory of the package "com.example.demo".
    std::string userCfgDir() {
        return env["HOME"] + "/Library/Application Support/com.example.demo";
    }

    // A fresh bundle and home directory for the next case; with a package name, the package
    // file and the user's own configuration (main class user.Main) are laid out too.
    void freshBundle(int number, bool withPackage) {
        env["HOME"] = tmp / ("home" + std::to_string(number));
        layOut(kDemoCfg);
        if (withPackage) {
            writeFile(appDir + "/.package", "com.example.demo\n");
            writeFile(userCfgDir() + "/Demo.cfg", "[Application]\napp.mainclass=user.Main\n");
        }
        ::unlink(recordPath.c_str());
    }

    // The main class that the one recorded launch received.
    std::string launchedMainClass() {
        const std::vector<std::vector<std::string>> r = records();
        return r.size() == 1 && r[0].size() >= 5 ? r[0][r[0].size() - 5] : "no single record";
    }

    void replaceBySymlink(const std::string& path, const std::string& target) {
        ::unlink(path.c_str());
        ASSERT_EQ(0, ::symlink(target.c_str(), path.c_str())) << path;
    }

    void replaceByFifo(const std::string& path) {
        ::unlink(path.c_str());
        ASSERT_EQ(0, ::mkfifo(path.c_str(), 0600)) << path;
    }

    void replaceByDirectory(const std::string& path) {
        ::unlink(path.c_str());
        ASSERT_EQ(0, ::mkdir(path.c_str(), 0755)) << path;
    }

    // The test double as a file of the bundle, not a link into the build tree (which the
    // unprivileged user may not be allowed to read).
    void copyLibraryIntoBundle() {
        ::unlink(runtimeLib().c_str());
        writeFile(runtimeLib(), readFile(FAKEJLI_PATH));
    }

    std::string runtimeLib() const {
        return root + "/Contents/runtime/Contents/Home/lib/libjli.dylib";
    }
};

// A file that is only looked for (the package file, the user's configuration) is skipped when
// its status cannot be read, as if it were not there; a file that must be read ends the launch
// with one line and status 1.
TEST_F(FileSystemTest, OddFilesAndBrokenLinks) {
    const std::string noFile = std::strerror(ENOENT);
    const std::string loop = std::strerror(ELOOP);
    const std::string isDir = std::strerror(EISDIR);
    const struct {
        const char* what;
        bool withPackage;
        std::function<void()> arrange;
        std::function<std::string()> wantError; // empty text: the launch goes through
        const char* wantMainClass = nullptr;
    } cases[] = {
        {"configuration is a directory", false, [&] { replaceByDirectory(cfgPath); },
         [&] { return "Failed to read \"" + cfgPath + "\" file up to the end: " + isDir; }},
        {"configuration is a dangling link", false,
         [&] { replaceBySymlink(cfgPath, appDir + "/missing.cfg"); },
         [&] { return "Error opening \"" + cfgPath + "\" file: " + noFile; }},
        {"configuration is a link to itself", false, [&] { replaceBySymlink(cfgPath, cfgPath); },
         [&] { return "Error opening \"" + cfgPath + "\" file: " + loop; }},
        // Neither a FIFO (which would wait for a writer) nor a device (which never ends) is read.
        {"configuration is a FIFO", false, [&] { replaceByFifo(cfgPath); },
         [&] { return "Error opening \"" + cfgPath + "\" file: not a regular file"; }},
        {"configuration is a link to /dev/zero", false,
         [&] { replaceBySymlink(cfgPath, "/dev/zero"); },
         [&] { return "Error opening \"" + cfgPath + "\" file: not a regular file"; }},
        {"package file is a FIFO", false, [&] { replaceByFifo(appDir + "/.package"); },
         [&] { return "Error opening \"" + appDir + "/.package\" file: not a regular file"; }},
        {"package file is a dangling link", false,
         [&] { replaceBySymlink(appDir + "/.package", appDir + "/missing"); },
         [] { return std::string(); }, "demo.Main"},
        {"package file is a link loop", false,
         [&] {
             replaceBySymlink(appDir + "/.package", appDir + "/.package2");
             replaceBySymlink(appDir + "/.package2", appDir + "/.package");
         },
         [] { return std::string(); }, "demo.Main"},
        // It exists, opens, and reading its first line fails: an empty package name.
        {"package file is a directory", true, [&] { replaceByDirectory(appDir + "/.package"); },
         [] { return std::string(); }, "demo.Main"},
        {"user configuration", true, [] {}, [] { return std::string(); }, "user.Main"},
        {"user configuration is a dangling link", true,
         [&] { replaceBySymlink(userCfgDir() + "/Demo.cfg", userCfgDir() + "/missing.cfg"); },
         [] { return std::string(); }, "demo.Main"},
        {"user configuration directory is a link loop", true,
         [&] {
             const std::string dir = userCfgDir();
             ::unlink((dir + "/Demo.cfg").c_str());
             ::rmdir(dir.c_str());
             replaceBySymlink(dir, dir);
         },
         [] { return std::string(); }, "demo.Main"},
        {"user configuration is a directory", true,
         [&] { replaceByDirectory(userCfgDir() + "/Demo.cfg"); },
         [&] {
             return "Failed to read \"" + userCfgDir() + "/Demo.cfg\" file up to the end: " + isDir;
         }},
        {"default runtime directory is a link to itself", false,
         [&] {
             const std::string runtime = root + "/Contents/runtime";
             ASSERT_EQ(0, ::rename(runtime.c_str(), (root + "/Contents/old-runtime").c_str()));
             replaceBySymlink(runtime, runtime);
         },
         [&] { return "Failed to find JVM in \"" + root + "/Contents/runtime\" directory."; }},
        {"launch library is a link loop", false,
         [&] {
             replaceBySymlink(runtimeLib(), runtimeLib() + ".2");
             replaceBySymlink(runtimeLib() + ".2", runtimeLib());
         },
         [&] { return "Failed to find JVM in \"" + root + "/Contents/runtime\" directory."; }},
        {"configured runtime is a link loop", false,
         [&] {
             writeFile(cfgPath, "[Application]\napp.runtime=$ROOTDIR/loop\napp.mainclass=x.Y\n");
             replaceBySymlink(root + "/loop", root + "/loop2");
             replaceBySymlink(root + "/loop2", root + "/loop");
         },
         [&] { return "Failed to find JVM in \"" + root + "/loop\" directory."; }},
    };
    int number = 0;
    for (const auto& c : cases) {
        freshBundle(++number, c.withPackage);
        c.arrange();
        const Outcome o = launch();
        const std::string wantError = c.wantError();
        if (wantError.empty()) {
            EXPECT_EQ(0, o.status) << c.what << ": " << o.err;
            EXPECT_EQ("", o.err) << c.what;
            EXPECT_EQ(std::string("arg=") + c.wantMainClass, launchedMainClass()) << c.what;
        } else {
            EXPECT_EQ(1, o.status) << c.what;
            EXPECT_EQ(wantError + "\n", o.err) << c.what;
            EXPECT_TRUE(records().empty()) << c.what;
        }
    }
}

// Permissions, with the launcher run as an unprivileged user when the tests run as root (who
// may read everything).
TEST_F(FileSystemTest, UnreadableFiles) {
    const std::string denied = std::strerror(EACCES);
    const std::string package = appDir + "/.package";
    const std::string userCfg = tmp / "home0/Library/Application Support/com.example.demo/Demo.cfg";
    const struct {
        const char* what;
        bool withPackage;
        std::string path;      // made inaccessible (mode 0) for the launch
        std::string wantError; // empty: the launch goes through
        const char* wantMainClass = nullptr;
    } cases[] = {
        {"configuration", false, cfgPath, "Error opening \"" + cfgPath + "\" file: " + denied},
        {"package file", true, package, "Error opening \"" + package + "\" file: " + denied},
        // Neither the package file nor the configuration can be looked at.
        {"application directory", true, appDir,
         "Error opening \"" + cfgPath + "\" file: " + denied},
        // It exists (stat succeeds), so it is chosen, and it cannot be opened.
        {"user configuration", true, userCfg, "Error opening \"" + userCfg + "\" file: " + denied},
        // Its existence cannot be seen: it is skipped.
        {"user configuration directory", true, tmp / "home0/Library/Application Support", "",
         "demo.Main"},
        {"runtime directory", false, root + "/Contents/runtime",
         "Failed to find JVM in \"" + root + "/Contents/runtime\" directory."},
    };
    for (const auto& c : cases) {
        freshBundle(0, c.withPackage);
        ASSERT_EQ(tmp / "home0", env["HOME"]);
        copyLibraryIntoBundle();
        // Everything readable for the unprivileged user but the one path of the case; the
        // test double writes its record into the temporary directory.
        makeReadableByAll(tmp.path());
        ASSERT_EQ(0, ::chmod(tmp.path().c_str(), 0777));
        ASSERT_EQ(0, ::chmod(c.path.c_str(), 0)) << c.path;
        RunOptions unprivileged;
        unprivileged.unprivileged = true;
        const Outcome o = launch({}, unprivileged);
        ::chmod(c.path.c_str(), 0755);
        if (c.wantError.empty()) {
            EXPECT_EQ(0, o.status) << c.what << ": " << o.err;
            EXPECT_EQ("", o.err) << c.what;
            EXPECT_EQ(std::string("arg=") + c.wantMainClass, launchedMainClass()) << c.what;
        } else {
            EXPECT_EQ(1, o.status) << c.what;
            EXPECT_EQ(c.wantError + "\n", o.err) << c.what;
            EXPECT_TRUE(records().empty()) << c.what;
        }
    }

    // A launch library that exists but cannot be read: the loader's own reason.
    freshBundle(0, false);
    copyLibraryIntoBundle();
    makeReadableByAll(tmp.path());
    ASSERT_EQ(0, ::chmod(tmp.path().c_str(), 0777));
    ASSERT_EQ(0, ::chmod(runtimeLib().c_str(), 0));
    RunOptions unprivileged;
    unprivileged.unprivileged = true;
    expectFailureStartingWith("dlopen(" + runtimeLib() + ") failed. Error: ",
                              launch({}, unprivileged));
    EXPECT_TRUE(records().empty());
}

// ---------------------------------------------------------------------------------------------
// Paths at and past the system's limit

// A path below base made of components of at most 200 bytes, exactly length bytes long.
std::string pathOfLength(const std::string& base, size_t length) {
    std::string path = base;
    while (path.size() < length) {
        const size_t left = length - path.size();
        // Never leave a remainder that only a separator would fill.
        const size_t component = left - 1 <= 200 ? left - 1 : std::min<size_t>(200, left - 3);
        path += "/" + std::string(component, 'p');
    }
    return path;
}

// Removes the tree name below the directory dirFd, however deep it is (nftw and every other
// walk by path name stop at the length limit).
void removeTree(int dirFd, const std::string& name) {
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd >= 0) {
        DIR* dir = ::fdopendir(fd);
        std::vector<std::string> entries;
        while (struct dirent* entry = dir ? ::readdir(dir) : nullptr) {
            const std::string entryName = entry->d_name;
            if (entryName != "." && entryName != "..") {
                entries.push_back(entryName);
            }
        }
        for (const std::string& entry : entries) {
            if (::unlinkat(fd, entry.c_str(), 0) != 0) {
                removeTree(fd, entry);
            }
        }
        dir ? ::closedir(dir) : ::close(fd);
    }
    ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
}

// Removes a tree that may be too deep for the temporary directory's own clean-up.
class DeepTreeRemover {
public:
    explicit DeepTreeRemover(const std::string& path) : path(path) {}
    ~DeepTreeRemover() { removeTree(AT_FDCWD, path); }
    DeepTreeRemover(const DeepTreeRemover&) = delete;
    DeepTreeRemover& operator=(const DeepTreeRemover&) = delete;

private:
    const std::string path;
};

class LongPathTest : public LauncherTest {};

TEST_F(LongPathTest, ConfiguredRuntimeLongerThanTheLimit) {
    const std::string longPath = pathOfLength(root, PATH_MAX + 10);
    const std::string longName = root + "/" + std::string(NAME_MAX + 1, 'n');
    for (const std::string& runtime : {longPath, longName}) {
        layOut("[Application]\napp.runtime=" + runtime + "\napp.mainclass=demo.Main\n");
        expectFailure("Failed to find JVM in \"" + runtime + "\" directory.", launch());
        EXPECT_TRUE(records().empty());
    }
}

// The executable's own path is just short enough to be started; the configuration's is not.
TEST_F(LongPathTest, ConfigurationPathPastTheLimit) {
    const std::string exeTail = "/Demo.app/Contents/MacOS/Demo";
    const std::string dir =
        pathOfLength(realPath(tmp.path()) + "/deep", PATH_MAX - 1 - exeTail.size());
    const DeepTreeRemover remover(tmp / "deep");
    makeDirs(dir);
    layOut(kDemoCfg);
    ASSERT_EQ(0, ::rename(root.c_str(), (dir + "/Demo.app").c_str()));
    ASSERT_EQ(size_t(PATH_MAX - 1), (dir + exeTail).size());

    expectFailure("Error opening \"" + dir +
                      "/Demo.app/Contents/app/Demo.cfg\" file: " + std::strerror(ENAMETOOLONG),
                  run(dir + exeTail, {}, env));
    EXPECT_TRUE(records().empty());
}

// A bundle nested deeper than the limit can still be started by a relative path from its own
// directory; the launcher then cannot name its working directory.
TEST_F(LongPathTest, BundleDeeperThanTheLimit) {
    layOut(kDemoCfg);
    const std::string abyss = tmp / "abyss";
    const DeepTreeRemover remover(abyss);
    ASSERT_EQ(0, ::mkdir(abyss.c_str(), 0755));
    int fd = ::open(abyss.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_LE(0, fd);
    for (size_t depth = abyss.size(); depth < PATH_MAX + 500; depth += 201) {
        const std::string name(200, 'd');
        ASSERT_EQ(0, ::mkdirat(fd, name.c_str(), 0755));
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        ASSERT_LE(0, fd);
    }
    ASSERT_EQ(0, ::renameat(AT_FDCWD, root.c_str(), fd, "Demo.app"));
    RunOptions inMacOS;
    inMacOS.cwdFd = ::openat(fd, "Demo.app/Contents/MacOS", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_LE(0, inMacOS.cwdFd);

    // The system's own reason for a working directory that does not fit 1024 bytes.
    const int here = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_LE(0, here);
    ASSERT_EQ(0, ::fchdir(inMacOS.cwdFd));
    char buffer[1024];
    const bool named = ::getcwd(buffer, sizeof buffer) != nullptr;
    const int reason = errno;
    ASSERT_EQ(0, ::fchdir(here));
    ::close(here);
    ASSERT_FALSE(named);

    Outcome o = run("./Demo", {}, env, inMacOS);
    // A sanitized build's runtime cannot name an executable this deep either, and says so
    // before the launcher starts.
    const std::string note = "==WARNING: reading executable name failed";
    const size_t firstLineEnd = o.err.find('\n');
    if (o.err.rfind("==", 0) == 0 && o.err.find(note) < firstLineEnd) {
        o.err.erase(0, firstLineEnd + 1);
    }
    expectFailure(std::string("getcwd() failed. Error: ") + std::strerror(reason), o);
    EXPECT_TRUE(records().empty());
    ::close(inMacOS.cwdFd);
}

// A symbolic link whose target is longer than a small fixed buffer still leads to the bundle.
TEST_F(LongPathTest, ExecutableBehindALongLink) {
    const std::string dir =
        pathOfLength(realPath(tmp.path()) + "/far", std::min<size_t>(2000, PATH_MAX - 100));
    makeDirs(dir);
    makeDirs(tmp / "bin");
    layOut(kDemoCfg);
    const std::string farRoot = dir + "/Demo.app";
    const std::string farExe = farRoot + "/Contents/MacOS/Demo";
    ASSERT_EQ(0, ::rename(root.c_str(), farRoot.c_str()));
    ASSERT_EQ(0, ::symlink(farExe.c_str(), (tmp / "bin/demo").c_str()));

    const Outcome o = run(tmp / "bin/demo", {}, env);
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ("", o.err);
    const std::vector<std::vector<std::string>> want = {
        expectedRecord({farExe, "-classpath", farRoot + "/Contents/app/demo.jar", "-Xmx512m",
                        "-Dvorlane.app-path=" + farExe, "demo.Main"},
                       (":" + farRoot + "/Contents/app").c_str())};
    EXPECT_EQ(want, records());
}

// ---------------------------------------------------------------------------------------------
// Large and non-UTF-8 input, passed through byte for byte

// The one recorded call equals want; on a difference, names the first differing line only
// (the records are too long to print whole).
void expectOneRecord(const std::vector<std::string>& want,
                     const std::vector<std::vector<std::string>>& got) {
    ASSERT_EQ(1u, got.size());
    const std::vector<std::string>& record = got[0];
    for (size_t i = 0; i < std::min(want.size(), record.size()); ++i) {
        ASSERT_EQ(showBytes(want[i]), showBytes(record[i])) << "line " << i << " of the record";
    }
    EXPECT_EQ(want.size(), record.size());
}

class LargeInputTest : public LauncherTest {};

TEST_F(LargeInputTest, HundredThousandConfigurationValues) {
    const int count = 100000;
    std::string cfg = "[Application]\napp.mainclass=big.Main\n";
    std::string classPath;
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        cfg += "app.classpath=$APPDIR/lib/" + n + ".jar\n";
        classPath += (i ? ":" : "") + appDir + "/lib/" + n + ".jar";
    }
    cfg += "[ArgOptions]\n";
    for (int i = 0; i < count; ++i) {
        const std::string value = "value " + std::to_string(count - i) + " \\ $ROOTDIR";
        cfg += "arguments=" + value + "\n";
        arguments.push_back("value " + std::to_string(count - i) + " \\ " + root);
    }
    layOut(cfg);

    const Outcome o = launch();
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ("", o.err);
    std::vector<std::string> args = {exe, "-classpath", classPath, "-Dvorlane.app-path=" + exe,
                                     "big.Main"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    expectOneRecord(expectedRecord(args, (":" + appDir).c_str()), records());
}

// One value of 16 MiB on a last line without a line feed.
TEST_F(LargeInputTest, HugeValue) {
    std::string value(16 << 20, 'v');
    for (size_t i = 0; i < value.size(); i += 4099) {
        value[i] = static_cast<char>(0x80 + i % 0x80);
    }
    layOut("[Application]\napp.mainclass=big.Main\n[JavaOptions]\njava-options=-D" + value);
    const Outcome o = launch();
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ("", o.err);
    expectOneRecord(expectedRecord({exe, "-D" + value, "-Dvorlane.app-path=" + exe, "big.Main"},
                                   (":" + appDir).c_str()),
                    records());
}

TEST_F(LargeInputTest, TwentyThousandCommandLineArguments) {
    layOut(kDemoCfg);
    std::vector<std::string> args;
    for (int i = 0; i < 20000; ++i) {
        // Every byte but NUL turns up, the line feed and the backslash included; every tenth
        // argument is empty.
        std::string arg = i % 10 == 0 ? std::string() : std::to_string(i) + "-";
        for (int k = 0; i % 10 != 0 && k < 4; ++k) {
            arg += static_cast<char>(1 + (i * 4 + k) % 255);
        }
        args.push_back(arg);
    }
    const Outcome o = launch(args);
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ("", o.err);
    std::vector<std::string> want = {
        exe,        "-classpath", appDir + "/demo.jar", "-Xmx512m", "-Dvorlane.app-path=" + exe,
        "demo.Main"};
    want.insert(want.end(), args.begin(), args.end());
    expectOneRecord(expectedRecord(want, (":" + appDir).c_str()), records());
}

// Bytes that are no UTF-8: lone continuation bytes, overlong and truncated sequences, an
// encoded surrogate, bytes that never occur in UTF-8.
TEST_F(LargeInputTest, NonUtf8Bytes) {
    const std::string odd = "\x80\xbf-\xc0\xaf-\xc3\x28-\xed\xa0\x80-\xf8\x88\x80\x80\x80-\xfe\xff";
    const std::string name = "D\xe9mo\xff";
    const std::string dir = realPath(tmp.path()) + "/Apps " + odd;
    writeFile(tmp / "odd.cfg", "[Application]\n"
                               "app.classpath=$APPDIR/" +
                                   odd +
                                   ".jar\n"
                                   "app.classpath=\xe9t\xe9\n"
                                   "app.mainclass=caf\xe9." +
                                   odd +
                                   "\n"
                                   "[JavaOptions]\n"
                                   "java-options=-Dodd=${ODD}\n"
                                   "[ArgOptions]\n"
                                   "arguments=" +
                                   odd + "\n");
    const std::string oddRoot = makeBundle(
        {"-l", APPLAUNCHER_PATH, "-n", name, "-o", dir, "-c", tmp / "odd.cfg", "-j", FAKEJLI_PATH});
    ASSERT_EQ(dir + "/" + name + ".app", oddRoot);
    const std::string oddExe = oddRoot + "/Contents/MacOS/" + name;
    const std::string oddAppDir = oddRoot + "/Contents/app";
    env["ODD"] = "\xff" + odd;
    env["DYLD_LIBRARY_PATH"] = "/opt/" + odd;

    const struct {
        std::vector<std::string> args;
        std::vector<std::string> wantArguments;
    } cases[] = {
        {{}, {odd}},
        {{"\xff", odd, "\xc3",
          "a\x80"
          "b"},
         {"\xff", odd, "\xc3",
          "a\x80"
          "b"}},
    };
    for (const auto& c : cases) {
        ::unlink(recordPath.c_str());
        const Outcome o = run(oddExe, c.args, env);
        EXPECT_EQ(0, o.status) << o.err;
        EXPECT_EQ("", o.err);
        std::vector<std::string> want = {oddExe,
                                         "-classpath",
                                         oddAppDir + "/" + odd + ".jar:\xe9t\xe9",
                                         "-Dodd=\xff" + odd,
                                         "-Dvorlane.app-path=" + oddExe,
                                         "caf\xe9." + odd};
        want.insert(want.end(), c.wantArguments.begin(), c.wantArguments.end());
        expectOneRecord(expectedRecord(want, ("/opt/" + odd + ":" + oddAppDir).c_str()), records());
    }
}

} // namespace
