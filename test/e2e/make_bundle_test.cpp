// tools/make-bundle as its users run it: what a refused or interrupted run leaves behind, how
// files given to copy arrive, a self-contained bundle that moves (its modules found by jdeps, its
// runtime linked once), the check's findings, and the class-data archive with its trial run.

#include <gtest/gtest.h>

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "LauncherRun.h"
#include "TestUtils.h"
#include "ZipTestUtils.h"

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
        writeFile(
            src, "package show;\n"
                 "public final class Show {\n"
                 "    public static void main(String[] args) throws Exception {\n"
                 "        System.out.println(\"home=\" + System.getProperty(\"java.home\"));\n"
                 "        String what = args.length > 0 ? args[0] : \"\";\n"
                 "        if (what.equals(\"sql\")) {\n"
                 "            System.out.println(java.sql.DriverManager.getLoginTimeout());\n"
                 "        }\n"
                 "        if (what.equals(\"wait\") || what.equals(\"throw\")) {\n"
                 "            new Thread(() -> {\n"
                 "                try { Thread.sleep(600000); } catch (InterruptedException e) {}\n"
                 "            }).start();\n"
                 "        }\n"
                 "        if (what.equals(\"throw\")) {\n"
                 "            throw new IllegalStateException(\"broken on purpose\");\n"
                 "        }\n"
                 "    }\n"
                 "}\n");
        ASSERT_EQ("", compileJar(javaHome, {src}, *classes / "classes", *classes / "show.jar"));
    }

    static void TearDownTestSuite() { classes.reset(); }

    MakeBundleTest()
        : dir(realPath(tmp.path())), out(dir + "/out"), bundle(out + "/Show.app"),
          showJar(dir + "/show.jar") {
        writeFile(dir + "/Show.cfg", kShowCfg);
        // What the check looks for; the runs with the real runtime take the compiled one.
        writeJar(showJar, {{"show/Show.class", ""}});
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
    const std::string showJar;
    static std::string javaHome;
    static std::unique_ptr<TempDir> classes;
};

std::string MakeBundleTest::javaHome;
std::unique_ptr<TempDir> MakeBundleTest::classes;

TEST_F(MakeBundleTest, RefusedRunLeavesTheBundleUntouched) {
    ASSERT_EQ(bundle, makeBundle(with(base(), {"-j", FAKEJLI_PATH, showJar})));
    writeFile(bundle + "/Contents/app/marker", "old");
    writeFile(bundle + "/Contents/inside/lib/libjli.so", "");
    makeDirs(dir + "/empty");
    ASSERT_EQ(0, ::symlink("nowhere.jar", (dir + "/dangling.jar").c_str()));
    ASSERT_EQ(0, ::symlink("loop2.jar", (dir + "/loop1.jar").c_str()));
    ASSERT_EQ(0, ::symlink("loop1.jar", (dir + "/loop2.jar").c_str()));
    makeDirs(dir + "/lib");
    ASSERT_EQ(0, ::symlink("../nowhere.jar", (dir + "/lib/x.jar").c_str()));
    makeDirs(dir + "/tree/sub");
    ASSERT_EQ(0, ::symlink("..", (dir + "/tree/sub/up").c_str()));
    writeFile(dir + "/a/x.jar", "a");
    writeFile(dir + "/b/x.jar", "b");
    writeFile(dir + "/Warned.cfg", "[Application]\napp.mainclas=show.Show\n");
    writeFile(dir + "/NoJar.cfg", "[Application]\napp.mainjar=$APPDIR/none.jar\n");
    writeFile(dir + "/exe.plist", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<plist version=\"1.0\"><dict>\n"
                                  "<key>CFBundleExecutable</key><string>Other</string>\n"
                                  "</dict></plist>\n");
    writeFile(dir + "/broken.plist", "<plist><dict><key>LSUIElement</key></plist>");
    const std::vector<std::string> before = listing(out);

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string line; // a whole line, or its start when it ends in "..."
    };
    const std::vector<std::string> noCfg = {"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", out};
    std::vector<Case> cases = {
        {with(base(), {"-r", ""}), 2,
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
        {with(base(), {dir + "/loop1.jar"}), 1,
         "make-bundle: the link " + dir + "/loop1.jar is a cycle of links"},
        // Found only while copying: the half-built bundle goes, the old one stays.
        {with(base(), {"-j", FAKEJLI_PATH, dir + "/lib"}), 1,
         "make-bundle: the link " + dir + "/lib/x.jar points nowhere"},
        {with(base(), {"-j", FAKEJLI_PATH, dir + "/tree"}), 1,
         "make-bundle: the link " + dir + "/tree/sub/up leads back to " + dir + "/tree, a cycle"},
        {with(base(), {dir + "/a/x.jar", dir + "/b/x.jar"}), 2,
         "make-bundle: both " + dir + "/a/x.jar and " + dir +
             "/b/x.jar would be Contents/app/x.jar"},
        {with(noCfg, {"-c", dir + "/Show.cfg", "-n", "a/b"}), 2,
         "make-bundle: the name must not contain \"/\": a/b"},
        {with(noCfg, {"-c", dir + "/Show.cfg", "-n", "Show.app"}), 2,
         "make-bundle: the name must not end in \".app\": Show.app"},
        {with(base(), {"-V", "1.2.3.4"}), 2,
         "make-bundle: the version must be one to three numbers separated by \".\": "
         "'1.2.3.4'"},
        {with(base(), {"--no-such"}), 2,
         "make-bundle: unrecognized arguments: --no-such (make-bundle --help for help)"},
        {with(base(), {"-l", dir + "/no-launcher"}), 1,
         "make-bundle: no launcher at " + dir + "/no-launcher"},
        {with(base(), {"-j", FAKEJLI_PATH, "-p", dir + "/exe.plist"}), 1,
         "make-bundle: " + dir +
             "/exe.plist gives CFBundleExecutable 'Other', but make-bundle sets it to 'Show' "
             "(-n)"},
        {with(base(), {"-j", FAKEJLI_PATH, "-p", dir + "/broken.plist"}), 1,
         "make-bundle: cannot read the property list " + dir + "/broken.plist: ..."},
        // The launcher would not start the new bundle: it goes, and so does the output
        // directory that the run made.
        {with(base(), {"-o", dir + "/new/out"}), 1,
         "make-bundle: the launcher would fail: Failed to find JVM in \"" + dir +
             "/new/out/Show.app/Contents/runtime\" directory. (no runtime was given: -r "
             "JAVA_HOME puts one into the bundle)"},
        {{"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", out, "-c", dir + "/Warned.cfg", "-j",
          FAKEJLI_PATH, "-W"},
         1,
         "make-bundle: applauncher-check warns about the bundle (-W): 2 warnings"},
        {noCfg, 2, "make-bundle: -l, -n, -o and -c are required (make-bundle --help for help)"},
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
        cases.push_back({with(base(), {"-r", javaHome, "-m", "no.such.module"}), 1,
                         "make-bundle: jlink failed: Error: Module no.such.module not found"});
        // The check finds an error: the new bundle goes, the old one comes back.
        cases.push_back(
            {{"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", out, "-c", dir + "/NoJar.cfg", "-L",
              javaHome},
             1,
             "make-bundle: the launch would fail: " + dir + "/NoJar.cfg:2: error: ..."});
    }
    for (const Case& c : cases) {
        std::string input;
        for (const std::string& a : c.args) {
            input += " '" + a + "'";
        }
        const Outcome o = run(MAKE_BUNDLE_PATH, c.args, javaEnv());
        EXPECT_EQ(c.status, o.status) << input << "\n" << o.err;
        EXPECT_EQ("", o.out) << input;
        // Notes and what the check found (on the user's own file) may come first; the failure
        // is the last line.
        const std::vector<std::string> said = lines(o.err);
        ASSERT_FALSE(said.empty()) << input;
        for (size_t i = 0; i + 1 < said.size(); ++i) {
            EXPECT_TRUE(said[i].rfind("note: ", 0) == 0 || said[i].rfind(dir + "/", 0) == 0)
                << input << "\n"
                << o.err;
        }
        const std::string prefix = c.line.substr(0, c.line.size() - 3);
        if (c.line.size() > 3 && c.line.compare(c.line.size() - 3, 3, "...") == 0) {
            EXPECT_EQ(prefix, said.back().substr(0, prefix.size())) << input;
        } else {
            EXPECT_EQ(c.line, said.back()) << input;
        }
        EXPECT_EQ(before, listing(out)) << input;
    }
    EXPECT_NE(0, ::access((dir + "/new").c_str(), F_OK));
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
        args.push_back(showJar);
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
    // An .icns file of no entries: its header and length hold together.
    const std::string icon("icns\0\0\0\x08", 8);
    writeFile(dir + "/Show.icns", icon);
    writeFile(dir + "/extra.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<plist version=\"1.0\"><dict>\n"
              "<key>CFBundleExecutable</key><string>Show</string>\n"
              "<key>CFBundleDisplayName</key><string>My Show</string>\n"
              "<key>CFBundleDocumentTypes</key><array><dict>\n"
              "<key>CFBundleTypeExtensions</key><array><string>show</string></array>\n"
              "<key>CFBundleTypeRole</key><string>Editor</string>\n"
              "</dict></array>\n"
              "<key>LSUIElement</key><true/>\n"
              "</dict></plist>\n");
    const std::vector<std::string> longOptions = {"--launcher",
                                                  APPLAUNCHER_PATH,
                                                  "--name",
                                                  "Show",
                                                  "--output",
                                                  out,
                                                  "--config",
                                                  dir + "/Show.cfg",
                                                  "--runtime",
                                                  javaHome,
                                                  "--modules",
                                                  "auto",
                                                  "--icon",
                                                  dir + "/Show.icns",
                                                  "--plist",
                                                  dir + "/extra.plist",
                                                  "--identifier=org.example.show",
                                                  "--bundle-version=2.3.4",
                                                  *classes / "show.jar"};
    Outcome made = run(MAKE_BUNDLE_PATH, longOptions, javaEnv());
    ASSERT_EQ(0, made.status) << made.err;
    // B=$(make-bundle ...) takes the bundle's path, and only that.
    EXPECT_EQ(bundle + "\n", made.out);
    EXPECT_NE(std::string::npos,
              made.err.find("note: -m auto chose java.base,java.sql (-m java.base,java.sql pins "
                            "this choice)\n"))
        << made.err;
    // The same inputs again: the runtime is taken from the bundle there, jlink does not run.
    made = run(MAKE_BUNDLE_PATH, longOptions, javaEnv());
    ASSERT_EQ(0, made.status) << made.err;
    EXPECT_EQ(bundle + "\n", made.out);
    EXPECT_NE(std::string::npos, made.err.find("note: reused the runtime of " + bundle))
        << made.err;
    EXPECT_EQ(std::string::npos, made.err.find("note: linking")) << made.err;

    const std::string moved = dir + "/moved dir/My Show.app";
    makeDirs(dir + "/moved dir");
    ASSERT_EQ(0, ::rename(bundle.c_str(), moved.c_str()));
    const Outcome o = run(moved + "/Contents/MacOS/Show", {"sql"}, javaEnv());
    EXPECT_EQ(0, o.status) << o.err;
    EXPECT_EQ("home=" + moved + "/Contents/runtime/Contents/Home\n0\n", o.out);
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
    EXPECT_EQ("CFBundleDisplayName='My Show'\n"
              "CFBundleDocumentTypes=[{'CFBundleTypeExtensions': ['show'], "
              "'CFBundleTypeRole': 'Editor'}]\n"
              "CFBundleExecutable='Show'\n"
              "CFBundleIconFile='Show.icns'\n"
              "CFBundleIdentifier='org.example.show'\n"
              "CFBundleInfoDictionaryVersion='6.0'\n"
              "CFBundleName='Show'\n"
              "CFBundlePackageType='APPL'\n"
              "CFBundleShortVersionString='2.3.4'\n"
              "CFBundleVersion='2.3.4'\n"
              "LSMinimumSystemVersion='11.0'\n"
              "LSUIElement=True\n"
              "NSHighResolutionCapable=True\n",
              plist.out);
    EXPECT_EQ("APPL????", readFile(moved + "/Contents/PkgInfo"));
    EXPECT_EQ(icon, readFile(moved + "/Contents/Resources/Show.icns"));
}

TEST_F(MakeBundleTest, ArchiveIsUsedAndNeverHeardOf) {
    needJava();
    const Outcome made = run(
        MAKE_BUNDLE_PATH,
        with(with(base(), archiveOptions()), {"-L", javaHome, *classes / "show.jar"}), javaEnv());
    ASSERT_EQ(0, made.status) << made.err;
    EXPECT_EQ(bundle + "\n", made.out);
    for (const std::string& line : lines(made.err)) {
        EXPECT_EQ(0u, line.rfind("note: ", 0)) << line;
    }
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
    const Outcome made = run(
        MAKE_BUNDLE_PATH,
        with(with(base(), archiveOptions()), {"-L", javaHome, "-t", "2", *classes / "show.jar"}),
        javaEnv());
    ASSERT_EQ(0, made.status) << made.err;
    EXPECT_NE(std::string::npos, made.err.find("note: the trial run was ended after 2 s (-t)\n"))
        << made.err;
    const std::string app = bundle + "/Contents/app";
    EXPECT_FALSE(readFile(app + "/Show.jsa").empty() && readFile(app + "/Show.aot").empty());
}

// What applauncher-check finds in the new bundle goes to standard error, told on the user's own
// configuration file; the check beside the launcher, or the one given with --check.
TEST_F(MakeBundleTest, ShowsWhatTheCheckFinds) {
    writeFile(dir + "/typo.cfg", "[Application]\napp.mainclas=show.Show\n");
    writeFile(dir + "/fine.cfg",
              "[Application]\napp.classpath=$APPDIR/show.jar\napp.mainclass=show.Show\n");
    makeDirs(dir + "/alone");
    ASSERT_EQ(0, ::symlink(APPLAUNCHER_PATH, (dir + "/alone/applauncher").c_str()));
    const struct {
        std::vector<std::string> launcher;
        std::string cfg;
    } cases[] = {
        {{"-l", APPLAUNCHER_PATH}, "fine.cfg"},
        {{"-l", APPLAUNCHER_PATH}, "typo.cfg"},
        {{"-l", dir + "/alone/applauncher", "--check", APPLAUNCHER_CHECK_PATH}, "typo.cfg"},
    };
    for (const auto& c : cases) {
        const Outcome made = run(MAKE_BUNDLE_PATH,
                                 with(c.launcher, {"-n", "Show", "-o", out, "-c", dir + "/" + c.cfg,
                                                   "-j", FAKEJLI_PATH, showJar}),
                                 baseEnv());
        EXPECT_EQ(0, made.status) << made.err;
        EXPECT_EQ(bundle + "\n", made.out);
        // The findings; a note (show.jar is on no class path without app.classpath, the library
        // that -j links from outside) is none.
        std::vector<std::string> found;
        for (const std::string& line : lines(made.err)) {
            if (line.rfind("note: ", 0) != 0) {
                found.push_back(line);
            }
        }
        EXPECT_EQ(c.cfg == "typo.cfg", !found.empty()) << made.err;
        for (const std::string& line : found) {
            EXPECT_EQ(0u, line.rfind(dir + "/typo.cfg:", 0)) << line;
            EXPECT_NE(std::string::npos, line.find(": warning: ")) << line;
        }
    }
}

// A trial run whose application throws, or misses a module that the runtime lacks, fails the
// run with one line that says so and where its output is; the old bundle stays, without an
// archive.
TEST_F(MakeBundleTest, FailedTrialRunSaysWhyAndLeavesNoArchive) {
    needJava();
    ASSERT_EQ(bundle, makeBundle(with(base(), {"-j", FAKEJLI_PATH, showJar})));
    writeFile(bundle + "/Contents/app/marker", "old");
    const std::vector<std::string> before = listing(bundle);
    const std::string log = out + "/Show.trial.log";
    const struct {
        std::vector<std::string> args;
        std::string line;
        std::string logged;
    } cases[] = {
        // It stays alive after the exception: it is ended at once, not after -t.
        {{"-L", javaHome, "--trial-arg", "throw", "-t", "600"},
         "make-bundle: the trial run threw java.lang.IllegalStateException: broken on purpose (in "
         "thread \"main\") at show.Show.main(Show.java:15); its output is in " +
             log,
         "Exception in thread \"main\" java.lang.IllegalStateException: broken on purpose"},
        // A module said to be optional, which the start-up needs after all.
        {{"-r", javaHome, "-m", "java.base", "--ignore-module", "java.sql", "--trial-arg", "sql"},
         "make-bundle: the application needs java.sql (java.sql.DriverManager is not in the "
         "runtime): add it to -m; its output is in " +
             log,
         "java.lang.NoClassDefFoundError: java/sql/DriverManager"},
    };
    for (const auto& c : cases) {
        ::unlink(log.c_str());
        const Outcome o = run(
            MAKE_BUNDLE_PATH,
            with(with(with(base(), c.args), archiveOptions()), {*classes / "show.jar"}), javaEnv());
        EXPECT_EQ(1, o.status) << o.err;
        EXPECT_EQ("", o.out);
        ASSERT_FALSE(lines(o.err).empty());
        EXPECT_EQ(c.line, lines(o.err).back());
        EXPECT_NE(std::string::npos, readFile(log).find(c.logged)) << readFile(log);
        EXPECT_EQ(before, listing(bundle));
    }
}

// The child of make-bundle (pid) that runs jlink, once there is one; -1 if none appears while
// make-bundle runs. Seen in the process table (ps, on Linux and macOS alike), it is running.
pid_t jlinkChild(pid_t makeBundle) {
    for (int tick = 0; tick < 60 * 20 && ::kill(makeBundle, 0) == 0; ++tick) {
        const Outcome ps =
            run("/bin/ps", {"-A", "-o", "pid=", "-o", "ppid=", "-o", "args="}, baseEnv());
        for (const std::string& line : lines(ps.out)) {
            long child = 0;
            long parent = 0;
            int end = 0;
            if (std::sscanf(line.c_str(), "%ld %ld %n", &child, &parent, &end) == 2 &&
                parent == makeBundle &&
                line.find("/jlink", static_cast<size_t>(end)) != line.npos) {
                return static_cast<pid_t>(child);
            }
        }
        const struct timespec pause = {0, 50 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    return -1;
}

// What a CI system sends on a time-out: jlink ends with make-bundle, the half-built bundle goes,
// the old one stays, and one line says why.
TEST_F(MakeBundleTest, TerminatedDuringJlinkEndsItAndKeepsTheOldBundle) {
    needJava();
    ASSERT_EQ(bundle, makeBundle(with(base(), {"-j", FAKEJLI_PATH, showJar})));
    writeFile(bundle + "/Contents/app/marker", "old");
    const std::vector<std::string> before = listing(out);

    Started made = start(MAKE_BUNDLE_PATH,
                         with(base(), {"-r", javaHome, "-m", "java.base,java.desktop"}), baseEnv());
    const pid_t jlink = jlinkChild(made.pid);
    ::kill(made.pid, SIGTERM);
    const Outcome o = finish(made);
    ASSERT_GT(jlink, 0) << "jlink never started: " << o.err;
    EXPECT_EQ(1, o.status);
    ASSERT_FALSE(lines(o.err).empty());
    EXPECT_EQ("make-bundle: interrupted by SIGTERM", lines(o.err).back());
    EXPECT_EQ("", o.out);
    EXPECT_EQ(before, listing(out));
    EXPECT_TRUE(::kill(jlink, 0) != 0 && errno == ESRCH) << "jlink " << jlink << " runs on";
}

// A jar replaced in place after -a (an updater, a rebuild) runs its new code, on every runtime
// found here, whichever archive each gets.
TEST_F(MakeBundleTest, ChangedJarRunsItsNewCodeDespiteTheArchive) {
    std::vector<std::string> runtimes;
    for (const std::string& home : installedJavaHomes()) {
        const std::string release = readFile(home + "/release");
        const size_t at = release.find("JAVA_VERSION=\"");
        if (at != std::string::npos && std::atoi(release.c_str() + at + 14) >= 13 &&
            ::access((home + "/bin/javac").c_str(), X_OK) == 0) {
            runtimes.push_back(home);
        }
    }
    if (runtimes.empty()) {
        GTEST_SKIP() << "no JDK of Java 13 or later";
    }
    const std::string src = dir + "/src/change/Change.java";
    const std::string log = dir + "/load.log";
    writeFile(dir + "/Change.cfg", "[Application]\n"
                                   "app.classpath=$APPDIR/change.jar\n"
                                   "app.mainclass=change.Change\n"
                                   "[JavaOptions]\n"
                                   "java-options=-Xlog:class+load=info:file=" +
                                       log + "\n");
    for (const std::string& home : runtimes) {
        const std::string jar = dir + "/change.jar";
        const auto compile = [&](const std::string& text) {
            ::unlink(jar.c_str());
            writeFile(src, "package change;\n"
                           "public final class Change {\n"
                           "    public static void main(String[] args) {\n"
                           "        System.out.println(\"" +
                               text +
                               "\");\n"
                               "    }\n"
                               "}\n");
            return compileJar(home, {src}, dir + "/classes" + std::to_string(text.size()), jar);
        };
        ASSERT_EQ("", compile("old")) << home;
        std::vector<std::string> args = {"-l", APPLAUNCHER_PATH,    "-n", "Change", "-o", out,
                                         "-c", dir + "/Change.cfg", "-L", home,     jar};
        const std::vector<std::string> archive = archiveOptions();
        args.insert(args.end() - 1, archive.begin(), archive.end());
        const Outcome made = run(MAKE_BUNDLE_PATH, args, javaEnv());
        ASSERT_EQ(0, made.status) << home << "\n" << made.err;
        const std::string exe = out + "/Change.app/Contents/MacOS/Change";
        Outcome o = run(exe, {}, javaEnv());
        EXPECT_EQ("old\n", o.out) << home << "\n" << o.err;
        EXPECT_NE(std::string::npos,
                  readFile(log).find("change.Change source: shared objects file"))
            << home << ": the archive was not used\n"
            << readFile(log);

        // The new jar is larger, so it differs whatever the file system's clock says.
        ASSERT_EQ("", compile("new, and longer")) << home;
        ASSERT_EQ(0, ::rename(jar.c_str(), (out + "/Change.app/Contents/app/change.jar").c_str()));
        o = run(exe, {}, javaEnv());
        EXPECT_EQ(0, o.status) << home << "\n" << o.err;
        EXPECT_EQ("new, and longer\n", o.out) << home << "\n" << made.out;
        EXPECT_EQ("", o.err) << home;
    }
}

} // namespace
