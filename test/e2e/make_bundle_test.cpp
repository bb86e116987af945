// tools/make-bundle as its users run it: what a refused run leaves behind, how files given to
// copy arrive, a self-contained bundle that moves, and the class-data archive.

#include <gtest/gtest.h>

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "LauncherRun.h"
#include "TestUtils.h"

namespace {

std::vector<std::string>* listingMemory = nullptr;

int addEntry(const char* path, const struct stat* st, int, struct FTW*) {
    std::string entry = std::string(path) + " ino=" + std::to_string(st->st_ino) +
                        " mode=" + std::to_string(st->st_mode) +
                        " size=" + std::to_string(st->st_size);
    if (S_ISREG(st->st_mode) && st->st_size < 4096) {
        entry += " content=" + readFile(path);
    }
    listingMemory->push_back(entry);
    return 0;
}

// Every entry below root with its inode, mode, size and (for small files) content: equal
// listings mean that nothing was replaced, added or removed.
std::vector<std::string> listing(const std::string& root) {
    std::vector<std::string> entries;
    listingMemory = &entries;
    ::nftw(root.c_str(), addEntry, 16, FTW_PHYS);
    listingMemory = nullptr;
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string linkTarget(const std::string& path) {
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, n);
}

bool isLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The environment for bundles in front of the Java runtime (the trial run of -a is one).
Env javaEnv() {
    Env env = baseEnv();
#ifdef LAUNCHER_SANITIZED
    std::string& options = env["ASAN_OPTIONS"];
    options += options.empty() ? "detect_leaks=0" : ":detect_leaks=0";
#endif
    return env;
}

const char* const kShowCfg = "[Application]\n"
                             "app.classpath=$APPDIR/show.jar\n"
                             "app.mainclass=show.Show\n"
                             "[JavaOptions]\n"
                             "java-options=-Xmx64m\n";

class MakeBundleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        javaHome = installedJavaHome();
        if (javaHome.empty()) {
            return;
        }
        classes.reset(new TempDir());
        const std::string src = *classes / "src/show/Show.java";
        writeFile(src,
                  "package show;\n"
                  "public final class Show {\n"
                  "    public static void main(String[] args) {\n"
                  "        System.out.println(\"home=\" + System.getProperty(\"java.home\"));\n"
                  "        if (args.length > 0) {\n"
                  "            try { Thread.sleep(600000); } catch (InterruptedException e) {}\n"
                  "        }\n"
                  "    }\n"
                  "}\n");
        ASSERT_EQ("", compileJar(javaHome, {src}, *classes / "classes", *classes / "show.jar"));
    }

    static void TearDownTestSuite() { classes.reset(); }

    MakeBundleTest() : dir(realPath(tmp.path())), out(dir + "/out"), bundle(out + "/Show.app") {
        writeFile(dir + "/Show.cfg", kShowCfg);
    }

    void needJava() {
        if (javaHome.empty() || !classes) {
            GTEST_SKIP() << "no Java runtime (JAVA_HOME or java on PATH)";
        }
    }

    std::vector<std::string> base() const {
        return {"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", out, "-c", dir + "/Show.cfg"};
    }

    static std::vector<std::string> with(std::vector<std::string> args,
                                         const std::vector<std::string>& more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    TempDir tmp;
    const std::string dir;
    const std::string out;
    const std::string bundle;
    static std::string javaHome;
    static std::unique_ptr<TempDir> classes;
};

std::string MakeBundleTest::javaHome;
std::unique_ptr<TempDir> MakeBundleTest::classes;

TEST_F(MakeBundleTest, RefusedRunLeavesTheBundleUntouched) {
    ASSERT_EQ(bundle, makeBundle(with(base(), {"-j", FAKEJLI_PATH})));
    writeFile(bundle + "/Contents/app/marker", "old");
    writeFile(bundle + "/Contents/inside/lib/libjli.so", "");
    makeDirs(dir + "/empty");
    ASSERT_EQ(0, ::symlink("nowhere.jar", (dir + "/dangling.jar").c_str()));
    makeDirs(dir + "/lib");
    ASSERT_EQ(0, ::symlink("../nowhere.jar", (dir + "/lib/x.jar").c_str()));
    writeFile(dir + "/a/x.jar", "a");
    writeFile(dir + "/b/x.jar", "b");
    const std::vector<std::string> before = listing(out);

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string line; // a whole line, or its start when it ends in "..."
    };
    const std::vector<std::string> noCfg = {"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", out};
    std::vector<Case> cases = {
        {with(base(), {"-r", ""}), 1,
         "make-bundle: -r was given an empty path (is JAVA_HOME set?)"},
        {with(base(), {"-L", dir + "/nowhere"}), 1,
         "make-bundle: no runtime at " + dir + "/nowhere"},
        {with(base(), {"-r", dir + "/empty"}), 1,
         "make-bundle: no launch library (lib/libjli.dylib, lib/jli/libjli.dylib, lib/libjli.so) "
         "in the runtime " +
             dir + "/empty"},
        {with(base(), {"-L", bundle + "/Contents/inside"}), 1,
         "make-bundle: the runtime " + bundle + "/Contents/inside lies inside the bundle " +
             bundle + " that is to be replaced"},
        {with(base(), {dir + "/missing.jar"}), 1,
         "make-bundle: no file or directory at " + dir + "/missing.jar"},
        {with(base(), {dir + "/dangling.jar"}), 1,
         "make-bundle: the link " + dir + "/dangling.jar points nowhere"},
        // Found only while copying: the half-built bundle goes, the old one stays.
        {with(base(), {"-j", FAKEJLI_PATH, dir + "/lib"}), 1,
         "make-bundle: the link " + dir + "/lib/x.jar points nowhere"},
        {with(base(), {dir + "/a/x.jar", dir + "/b/x.jar"}), 1,
         "make-bundle: both " + dir + "/a/x.jar and " + dir +
             "/b/x.jar would be Contents/app/x.jar"},
        {with(noCfg, {"-c", dir + "/Show.cfg", "-n", "a/b"}), 1,
         "make-bundle: the name must not contain \"/\": a/b"},
        {with(noCfg, {"-c", dir + "/Show.cfg", "-n", "Show.app"}), 1,
         "make-bundle: the name must not end in \".app\": Show.app"},
        {with(base(), {"-V", "1.x"}), 1,
         "make-bundle: the version must be one to three numbers separated by \".\": '1.x'"},
        {with(base(), {"-l", dir + "/no-launcher"}), 1,
         "make-bundle: no launcher at " + dir + "/no-launcher"},
        {noCfg, 2, "make-bundle: -l, -n, -o and -c are required (make-bundle -h for help)"},
        {with(base(), {"-L", dir, "-j", FAKEJLI_PATH}), 2,
         "make-bundle: -r, -L and -j exclude each other"},
        {with(base(), {"-a", "-j", FAKEJLI_PATH}), 2, "make-bundle: -a needs a runtime (-r or -L)"},
        {with(base(), {"-j", FAKEJLI_PATH, "-s", "Someone"}), 2,
         "make-bundle: -s signs bundles with their own runtime (-r), not -L or -j"},
#ifndef __APPLE__
        {with(base(), {"-s", "Developer ID Application: Someone"}), 1,
         "make-bundle: -s signs only on macOS"},
#endif
    };
    if (!javaHome.empty() && classes) {
        writeFile(dir + "/Missing.cfg", "[Application]\napp.mainclass=no.Such\n");
        // Failures after the new bundle has taken the old one's place put the old one back.
        cases.push_back({with(base(), {"-r", javaHome, "-m", "no.such.module"}), 1,
                         "make-bundle: jlink failed: ..."});
        cases.push_back(
            {{"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", out, "-c", dir + "/Missing.cfg", "-L",
              javaHome, "-a"},
             1,
             "make-bundle: the trial run for the archive ended with status 1: Error: Could not "
             "find or load main class no.Such"});
    }
    for (const Case& c : cases) {
        std::string input;
        for (const std::string& a : c.args) {
            input += " '" + a + "'";
        }
        const Outcome o = run(MAKE_BUNDLE_PATH, c.args, javaEnv());
        EXPECT_EQ(c.status, o.status) << input << "\n" << o.err;
        EXPECT_EQ("", o.out) << input;
        ASSERT_EQ(1u, lines(o.err).size()) << input << "\n" << o.err;
        const std::string prefix = c.line.substr(0, c.line.size() - 3);
        if (c.line.size() > 3 && c.line.compare(c.line.size() - 3, 3, "...") == 0) {
            EXPECT_EQ(prefix, o.err.substr(0, prefix.size())) << input;
        } else {
            EXPECT_EQ(c.line + "\n", o.err) << input;
        }
        EXPECT_EQ(before, listing(out)) << input;
    }
}

TEST_F(MakeBundleTest, FilesArriveWithTheirLinksFollowedUnlessKept) {
    writeFile(dir + "/real.jar", "jar");
    ASSERT_EQ(0, ::symlink("real.jar", (dir + "/link.jar").c_str()));
    writeFile(dir + "/lib/own.jar", "own");
    ASSERT_EQ(0, ::symlink("../real.jar", (dir + "/lib/inner.jar").c_str()));

    struct Case {
        bool keep;
        bool linked; // the links stay links
    };
    for (const Case& c : {Case{false, false}, Case{true, true}, Case{false, false}}) {
        std::vector<std::string> args = with(base(), {"-j", FAKEJLI_PATH});
        if (c.keep) {
            args.push_back("-P");
        }
        args.push_back(dir + "/link.jar");
        args.push_back(dir + "/lib");
        ASSERT_EQ(bundle, makeBundle(args));
        const std::string app = bundle + "/Contents/app";
        EXPECT_EQ(c.linked, isLink(app + "/link.jar")) << c.keep;
        EXPECT_EQ(c.linked, isLink(app + "/lib/inner.jar")) << c.keep;
        EXPECT_EQ(c.linked ? "real.jar" : "", linkTarget(app + "/link.jar")) << c.keep;
        EXPECT_EQ(c.linked ? "" : "jar", readFile(app + "/lib/inner.jar")) << c.keep;
        EXPECT_EQ("own", readFile(app + "/lib/own.jar")) << c.keep;
        EXPECT_EQ(kShowCfg, readFile(app + "/Show.cfg"));
        // Each run replaced the bundle as a whole and left nothing beside it.
        EXPECT_EQ("", readFile(app + "/marker")) << c.keep;
        writeFile(app + "/marker", "previous run");
        EXPECT_EQ(listing(bundle).size() + 1, listing(out).size());
    }
}

TEST_F(MakeBundleTest, SelfContainedBundleRunsFromItsOwnRuntimeAfterMoving) {
    needJava();
    writeFile(dir + "/Show.icns", "icon");
    ASSERT_EQ(bundle, makeBundle(with(base(), {"-r", javaHome, "-m", "java.base", "-i",
                                               "org.example.show", "-V", "2.3.4", "-I",
                                               dir + "/Show.icns", *classes / "show.jar"})));

    const std::string moved = dir + "/moved dir/My Show.app";
    makeDirs(dir + "/moved dir");
    ASSERT_EQ(0, ::rename(bundle.c_str(), moved.c_str()));
    const Outcome o = run(moved + "/Contents/MacOS/Show", {}, javaEnv());
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ("home=" + moved + "/Contents/runtime/Contents/Home\n", o.out);
    EXPECT_EQ("", o.err);

    // Every link stays inside the bundle, by a relative path.
    for (const std::string& entry : listing(moved)) {
        const std::string path = entry.substr(0, entry.find(" ino="));
        if (isLink(path)) {
            EXPECT_NE('/', linkTarget(path)[0]) << path << " -> " << linkTarget(path);
            EXPECT_EQ(moved + "/", realPath(path).substr(0, moved.size() + 1)) << path;
        }
    }

    const Outcome plist = run("/usr/bin/env",
                              {"python3", "-c",
                               "import plistlib, sys\n"
                               "d = plistlib.load(open(sys.argv[1], 'rb'))\n"
                               "print('\\n'.join('%s=%r' % kv for kv in sorted(d.items())))\n",
                               moved + "/Contents/Info.plist"},
                              baseEnv());
    EXPECT_EQ(0, plist.status) << plist.err;
    EXPECT_EQ("CFBundleDisplayName='Show'\n"
              "CFBundleExecutable='Show'\n"
              "CFBundleIconFile='Show.icns'\n"
              "CFBundleIdentifier='org.example.show'\n"
              "CFBundleInfoDictionaryVersion='6.0'\n"
              "CFBundleName='Show'\n"
              "CFBundlePackageType='APPL'\n"
              "CFBundleShortVersionString='2.3.4'\n"
              "CFBundleVersion='2.3.4'\n"
              "LSMinimumSystemVersion='11.0'\n"
              "NSHighResolutionCapable=True\n",
              plist.out);
    EXPECT_EQ("APPL????", readFile(moved + "/Contents/PkgInfo"));
    EXPECT_EQ("icon", readFile(moved + "/Contents/Resources/Show.icns"));
}

TEST_F(MakeBundleTest, ArchiveIsUsedAndNeverHeardOf) {
    needJava();
    const Outcome made = run(
        MAKE_BUNDLE_PATH, with(base(), {"-L", javaHome, "-a", *classes / "show.jar"}), javaEnv());
    ASSERT_EQ(0, made.status) << made.err;
    EXPECT_EQ("", made.err);
    EXPECT_EQ(bundle, lines(made.out).back());
    const std::string app = bundle + "/Contents/app";
    const std::string archive =
        readFile(app + "/Show.jsa").empty() ? app + "/Show.aot" : app + "/Show.jsa";
    ASSERT_FALSE(readFile(archive).empty());
    const std::string cfg = readFile(app + "/Show.cfg");
    EXPECT_NE(std::string::npos, cfg.find("=$APPDIR/Show.")) << cfg;
    const std::string home = "home=" + realPath(javaHome) + "\n";

    // The main class comes from the archive where the bundle was made.
    std::string traced = cfg;
    traced.insert(traced.find("[JavaOptions]\n") + 14,
                  "java-options=-Xlog:class+load=info:file=" + dir + "/load.log\n");
    writeFile(app + "/Show.cfg", traced);
    Outcome o = run(bundle + "/Contents/MacOS/Show", {}, javaEnv());
    EXPECT_EQ(home, o.out);
    const std::string loaded = readFile(dir + "/load.log");
    const size_t at = loaded.find("show.Show source: ");
    ASSERT_NE(std::string::npos, at) << loaded;
    EXPECT_EQ("show.Show source: shared objects file", loaded.substr(at, 37)) << loaded;
    writeFile(app + "/Show.cfg", cfg);

    // Moved, or with a broken archive, the launch goes on and nothing mentions the archive.
    const std::string moved = dir + "/moved dir/Show.app";
    makeDirs(dir + "/moved dir");
    ASSERT_EQ(0, ::rename(bundle.c_str(), moved.c_str()));
    for (const std::string& content : {std::string(), std::string(100000, 'x')}) {
        if (!content.empty()) {
            ::chmod((moved + archive.substr(bundle.size())).c_str(), 0644);
            writeFile(moved + archive.substr(bundle.size()), content);
        }
        o = run(moved + "/Contents/MacOS/Show", {}, javaEnv());
        EXPECT_EQ(0, o.status) << o.err;
        EXPECT_EQ(home, o.out) << content.size();
        EXPECT_EQ("", o.err) << content.size();
    }
}

TEST_F(MakeBundleTest, ApplicationThatDoesNotEndIsEndedAndStillArchived) {
    needJava();
    writeFile(dir + "/Show.cfg", std::string(kShowCfg) + "[ArgOptions]\narguments=wait\n");
    const Outcome made =
        run(MAKE_BUNDLE_PATH,
            with(base(), {"-L", javaHome, "-a", "-t", "2", *classes / "show.jar"}), javaEnv());
    ASSERT_EQ(0, made.status) << made.err;
    EXPECT_EQ("note: the trial run was ended after 2 s (-t)", lines(made.out).front());
    const std::string app = bundle + "/Contents/app";
    EXPECT_FALSE(readFile(app + "/Show.jsa").empty() && readFile(app + "/Show.aot").empty());
}

} // namespace
