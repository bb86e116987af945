// Bad, odd and large input for the whole launcher, started as a process of its own: whatever it
// is given, it either reaches the runtime's launch library or ends with one line on standard
// error and status 1, never by a signal or a hang.

#include <gtest/gtest.h>

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
    static const std::vector<std::string> pieces = {
        "[", "]", "=", "$", "{", "}", "\\", "\r", "\n", std::string(1, '\0'), ";", " ",
        "Application", "JavaOptions", "ArgOptions", "AppCDSJavaOptions", "app.classpath",
        "app.mainclass", "app.mainjar", "app.mainmodule", "app.modulepath", "app.splash",
        "app.version", "java-options", "arguments", "APPDIR", "BINDIR", "ROOTDIR", "HOME", "PATH",
        "\n[Application]\n", "\n[JavaOptions]\n", "\n[ArgOptions]\n", "\napp.classpath=",
        "\napp.mainclass=", "\napp.splash=", "\njava-options=", "\narguments=", "\n[Application",
        "${", "$APPDIR", "${ROOTDIR}", "${HOME}", "$$", "\\=", "\r\n", "\napp.runtime=",
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
        const std::string where = "seed " + std::to_string(seed) + " file " + std::to_string(file) +
                                  ": " + showBytes(content);
        writeFile(cfgPath, content);
        ::unlink(recordPath.c_str());

        const Outcome o = launch();
        ASSERT_FALSE(o.hung) << where;
        ASSERT_FALSE(o.signaled) << "signal " << o.status - 128 << ", " << where;
        ASSERT_TRUE(o.status == 0 || o.status == 1) << o.status << ", " << where;
        EXPECT_EQ("", o.out) << where;
        const std::vector<std::vector<std::string>> r = records();

        const size_t unclosed = firstUnclosedHeader(content);
        if (unclosed != 0) {
            ++unparseable;
            EXPECT_EQ("Error parsing [" + cfgPath + "] file at " + std::to_string(unclosed) +
                          ": Missing ']' character\n",
                      o.err)
                << where;
            EXPECT_TRUE(r.empty()) << where;
        } else if (o.status == 0) {
            ++launched;
            EXPECT_EQ("", o.err) << where;
            ASSERT_EQ(1u, r.size()) << where;
            ASSERT_LE(6u, r[0].size()) << where;
            EXPECT_EQ("arg=" + exe, r[0][2]) << where;
            EXPECT_NE(r[0].end(),
                      std::find(r[0].begin(), r[0].end(), "arg=-Dvorlane.app-path=" + exe))
                << where;
            EXPECT_EQ("argv_terminated=1", r[0][r[0].size() - 4]) << where;
        } else {
            EXPECT_EQ(1u, lines(o.err).size()) << showBytes(o.err) << ", " << where;
            EXPECT_EQ('\n', o.err.empty() ? '\0' : o.err.back()) << where;
            EXPECT_TRUE(r.empty()) << where;
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
    std::string userCfgDir() { return env["HOME"] + "/Library/Application Support/com.example.demo"; }

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

    std::string runtimeLib() const { return root + "/Contents/runtime/Contents/Home/lib/libjli.dylib"; }
};

// Each case ends as the launcher's documents promise: skipped where existence is what is
// asked (a stat that fails means "not there"), otherwise one line and status 1.
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
             return "Failed to read \"" + userCfgDir() + "/Demo.cfg\" file up to the end: " +
                    isDir;
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
        std::string path; // made inaccessible (mode 0) for the launch
        std::string wantError; // empty: the launch goes through
        const char* wantMainClass = nullptr;
    } cases[] = {
        {"configuration", false, cfgPath, "Error opening \"" + cfgPath + "\" file: " + denied},
        {"package file", true, package, "Error opening \"" + package + "\" file: " + denied},
        // Neither the package file nor the configuration can be looked at.
        {"application directory", true, appDir,
         "Error opening \"" + cfgPath + "\" file: " + denied},
        // It exists (stat succeeds), so it is chosen, and it cannot be opened.
        {"user configuration", true, userCfg,
         "Error opening \"" + userCfg + "\" file: " + denied},
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

} // namespace
