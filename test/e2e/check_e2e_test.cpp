// applauncher-check run as a process on bundles laid out like the launcher's own tests: its
// findings, its argument vector against what the recording test double receives, and its
// failures against the launcher's own.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LauncherRun.h"
#include "TestUtils.h"
#include "ZipTestUtils.h"

namespace {

class CheckTest : public LauncherTest {
protected:
    // The runtime of these bundles is the recording stand-in, whose verdict means nothing:
    // the check judges on its own.
    Outcome check(std::vector<std::string> args) {
        args.insert(args.begin(), "--no-trial");
        return run(APPLAUNCHER_CHECK_PATH, args, env);
    }

    // The finding lines of a default run.
    static std::vector<std::string> warnings(const Outcome& o) {
        std::vector<std::string> result;
        for (const std::string& line : lines(o.out)) {
            if (line.find(": warning: ") != std::string::npos ||
                line.find(": error: ") != std::string::npos) {
                result.push_back(line);
            }
        }
        return result;
    }
};

TEST_F(CheckTest, EachFindingNamesItsLine) {
    const std::string okApp = "[Application]\napp.classpath=$APPDIR/demo.jar\n";
    const std::string main = "app.mainclass=demo.Main\n";
    const struct {
        std::string cfg;
        std::string warning; // after "<cfg>:", "" for none
        int status;
    } cases[] = {
        {kDemoCfg, "", 0},
        {okApp + main + "[Javaoptions]\njava-options=-Xmx1m\n",
         "4: warning: unknown section [Javaoptions]; its properties are ignored (did you mean "
         "[JavaOptions]?)",
         2},
        {okApp + main + "app.mainclas=demo.Other\n",
         "4: warning: unknown property \"app.mainclas\" in [Application] is ignored (did you "
         "mean \"app.mainclass\"?)",
         2},
        {okApp + main + "app.launcher=x\n",
         "4: warning: unknown property \"app.launcher\" in [Application] is ignored", 2},
        {"java-options=-Xmx1m\n" + okApp + main,
         "1: warning: \"java-options\" is outside a known section and is ignored; put it below a "
         "header such as [Application]",
         2},
        {okApp + main + "[JavaOptions]\napp.mainjar=$APPDIR/demo.jar\n",
         "5: warning: \"app.mainjar\" is not read in [JavaOptions]; it belongs in [Application]",
         2},
        {okApp + "app.mainclass = demo.Main\n",
         "3: warning: blanks around \"=\": the property name is \"app.mainclass \", not "
         "\"app.mainclass\", so the line is ignored; write app.mainclass=demo.Main",
         2},
        {okApp + "app.mainclass= demo.Main\n",
         "3: warning: blank after \"=\": the value of \"app.mainclass\" is \" demo.Main\", blanks "
         "included",
         2},
        {okApp + main + " [JavaOptions]\n",
         "4: warning: blanks before \"[\": \" [JavaOptions]\" is not a section header and is "
         "ignored",
         2},
        // The class path entry and the class keep their carriage returns: nothing is found.
        {"[Application]\r\napp.classpath=$APPDIR/demo.jar\r\napp.mainclass=demo.Main\r\n",
         "1: warning: CR LF line endings: every value keeps a carriage return at its end; save the "
         "file with LF line endings",
         2},
        {okApp + main + std::string("[JavaOptions]\njava-options=-Da=b\0c\n", 35),
         "5: warning: NUL byte: the runtime receives a value only up to its first NUL byte", 2},
        {"\xEF\xBB\xBF" + okApp + main,
         "1: warning: UTF-8 byte-order mark: the launcher reads it as part of the first line, "
         "which is then not \"[Application]\"; save the file without it",
         2},
        {okApp + "[ArgOptions]\narguments=first\n",
         "1: warning: no app.mainclass, app.mainjar or app.mainmodule in [Application]: the "
         "runtime takes the first argument as the main class (here \"first\")",
         2},
        {okApp + main + "app.classpath=$APPDIR/lib/a.jar:$APPDIR/demo.jar\n",
         "4: warning: class path entry \"@APPDIR@/lib/a.jar\" does not exist", 2},
        {okApp + main + "app.classpath=$APPDIR/lib/*\n",
         "4: warning: class path entry \"@APPDIR@/lib/*\" does not exist", 2},
        {okApp + main + "app.modulepath=$APPDIR/mods\n",
         "4: warning: module path entry \"@APPDIR@/mods\" does not exist", 2},
        {"[Application]\napp.mainjar=$APPDIR/app.jar\n",
         "2: error: main jar \"@APPDIR@/app.jar\" does not exist: the runtime cannot start it", 1},
        {okApp + main + "app.splash=$APPDIR/splash.png\n",
         "4: warning: splash screen \"@APPDIR@/splash.png\" does not exist", 2},
        {"[Application]\napp.classpath=demo.jar\n" + main,
         "2: warning: class path entry \"demo.jar\" is relative: a double-click starts the "
         "launcher in \"/\", so it reads \"/demo.jar\", not a file of the bundle; start it with "
         "$APPDIR/",
         2},
        {okApp + main + "[JavaOptions]\njava-options=-Dx=$NO_SUCH_VARIABLE_X\n",
         "5: warning: \"$NO_SUCH_VARIABLE_X\" in java-options stays as written: there is no macro "
         "or environment variable \"NO_SUCH_VARIABLE_X\"",
         2},
        {okApp + main + "[JavaOptions]\njava-options=-Dx=${NO SUCH}\n",
         "5: warning: \"${NO SUCH}\" in java-options stays as written: there is no macro or "
         "environment variable \"NO SUCH\"",
         2},
        {okApp + main + "[JavaOptions]\njava-options=-Dx=${APPDIR\n",
         "5: warning: \"${\" without \"}\" in java-options: the rest of the value is not expanded",
         2},
        {okApp + main + "[JavaOptions]\njava-options=-Djava.util.logging.config.file=log.conf\n",
         "5: warning: file \"log.conf\" is relative: a double-click starts the launcher in \"/\", "
         "so it reads \"/log.conf\", not a file of the bundle; start it with $APPDIR/",
         2},
        {okApp + main + "app.runtime=@TMP@/jdk\n",
         "4: warning: app.runtime \"@TMP@/jdk\" is a Java home, not the directory that holds "
         "Contents/Home: the launcher looks for \"@TMP@/jdk/Contents/Home/lib/libjli.dylib\"",
         1},
        {okApp + main + "app.runtime=@TMP@/mac/Contents/Home\n",
         "4: warning: app.runtime \"@TMP@/mac/Contents/Home\" is a Java home, not the directory "
         "that holds Contents/Home: the launcher looks for "
         "\"@TMP@/mac/Contents/Home/Contents/Home/lib/libjli.dylib\"; write app.runtime=@TMP@/mac",
         1},
        {okApp + main + "app.runtime=@TMP@/empty\n",
         "4: warning: app.runtime \"@TMP@/empty\" holds no launch library: neither "
         "\"@TMP@/empty/Contents/Home/lib/libjli.dylib\" nor "
         "\"@TMP@/empty/Contents/Home/lib/jli/libjli.dylib\" exists",
         1},
        {okApp + main + "app.runtime=runtime\n",
         "4: warning: app.runtime \"runtime\" is relative: a double-click starts the launcher in "
         "\"/\", so it reads \"/runtime\", not a file of the bundle; start it with $APPDIR/ or "
         "$ROOTDIR/",
         1},
    };
    const std::string tmpDir = realPath(tmp.path());
    writeFile(tmp / "jdk/lib/libjli.so", "");
    writeFile(tmp / "mac/Contents/Home/lib/jli/libjli.dylib", "");
    makeDirs(tmp / "empty");
    for (const auto& c : cases) {
        layOut(replaceAll(c.cfg, "@TMP@", tmpDir));
        writeFile(appDir + "/demo.jar", makeZip({}));
        writeFile(appDir + "/log.conf", "");
        const Outcome o = check({root});
        EXPECT_EQ(c.status, o.status) << c.cfg << o.out << o.err;
        const std::vector<std::string> found = warnings(o);
        if (c.warning.empty()) {
            EXPECT_EQ(std::vector<std::string>(), found) << c.cfg;
            continue;
        }
        const std::string want =
            cfgPath + ":" + replaceAll(replaceAll(c.warning, "@TMP@", tmpDir), "@APPDIR@", appDir);
        EXPECT_NE(found.end(), std::find(found.begin(), found.end(), want))
            << c.cfg << "\nwant: " << want << "\ngot:\n"
            << o.out;
    }
}

TEST_F(CheckTest, ArgsAreWhatTheRuntimeReceives) {
    layOut(std::string(kDemoCfg) + "[ArgOptions]\narguments=configured\narguments=$APPDIR\n");
    const std::vector<std::vector<std::string>> argLists = {{}, {"given", "$APPDIR", ""}};
    for (const std::vector<std::string>& given : argLists) {
        std::remove(recordPath.c_str());
        const Outcome launched = launch(given);
        ASSERT_EQ(0, launched.status) << launched.err;
        const std::vector<std::vector<std::string>> recorded = records();
        ASSERT_EQ(1u, recorded.size());

        std::vector<std::string> args = {root};
        args.insert(args.end(), given.begin(), given.end());
        args.insert(args.begin(), "--args");
        const Outcome checked = check(args);
        // demo.jar does not exist: a warning (without a trial, no runtime says more).
        EXPECT_EQ(2, checked.status) << checked.err;
        EXPECT_EQ("", checked.err);
        std::vector<std::string> want;
        for (const std::string& line : recorded[0]) {
            if (line.compare(0, 4, "arg=") == 0) {
                want.push_back(line.substr(4));
            }
        }
        EXPECT_EQ(want, lines(checked.out));
        // The check itself never reaches the runtime.
        EXPECT_EQ(recorded, records());
    }
}

// The trial start hands the runtime what the launch hands it, through the launcher's own
// hand-off, with the dry run and the listing of the settings ahead: also when the runtime enters
// the program's main again, as the macOS runtime does. A runtime that does not end is ended.
TEST_F(CheckTest, TrialStartHandsOverWhatTheLaunchDoes) {
    layOut(kDemoCfg);
    env["FAKEJLI_REENTER"] = "1";
    ASSERT_EQ(0, launch({"given"}).status);
    // Typed in the shell: the stand-in's switches are in its environment.
    const Outcome checked = run(APPLAUNCHER_CHECK_PATH, {"--terminal", root, "given"}, env);
    const std::vector<std::vector<std::string>> recorded = records();
    ASSERT_EQ(4u, recorded.size()) << checked.out << checked.err;
    std::vector<std::string> want = recorded[0];
    want.insert(std::find(want.begin(), want.end(), "arg=" + exe) + 1,
                {"arg=--dry-run", "arg=-XshowSettings:properties"});
    for (std::string& line : want) {
        if (line.compare(0, 5, "argc=") == 0) {
            line = "argc=" + std::to_string(std::stoi(line.substr(5)) + 2);
        }
    }
    EXPECT_EQ(want, recorded[2]);
    EXPECT_EQ(want, recorded[3]);
    EXPECT_EQ(std::string::npos, checked.out.find("verdict is missing")) << checked.out;

    env.erase("FAKEJLI_REENTER");
    env["FAKEJLI_SLEEP"] = "600";
    const Outcome ended =
        run(APPLAUNCHER_CHECK_PATH, {"--terminal", "--trial-time", "1", root}, env);
    EXPECT_NE(std::string::npos,
              ended.out.find("\nnote: the runtime's verdict is missing: the trial start did not "
                             "end within 1 s; the findings are the check's own\n"))
        << ended.out;
}

// Besides a bundle or its launcher, the check takes a directory that holds one bundle, and a
// configuration file on its own, before any bundle exists.
TEST_F(CheckTest, DirectoryOfOneBundleAndConfigurationOnItsOwn) {
    layOut(kDemoCfg);
    EXPECT_EQ(check({root}).out, check({apps}).out);
    makeDirs(apps + "/Other.app");
    const Outcome two = check({apps});
    EXPECT_EQ(1, two.status);
    EXPECT_EQ("applauncher-check: \"" + apps +
                  "\" holds 2 bundles: name one of them (Demo.app, Other.app)\n",
              two.err);

    writeFile(tmp / "Lone.cfg", "[Application]\napp.classpath=$APPDIR/a.jar\napp.mainclass=a.Main\n"
                                "java-options=-Xmx1g\n");
    const Outcome lone = check({tmp / "Lone.cfg"});
    EXPECT_EQ(2, lone.status) << lone.out;
    EXPECT_NE(std::string::npos,
              lone.out.find("\n" + tmp / "Lone.cfg" +
                            ":4: warning: \"java-options\" is not read in [Application]; it "
                            "belongs in [JavaOptions]\n"))
        << lone.out;
    EXPECT_NE(std::string::npos, lone.out.find("\n  -Dvorlane.app-path=$BINDIR/Lone\n"))
        << lone.out;

    const Outcome version = run(APPLAUNCHER_CHECK_PATH, {"--version"}, env);
    EXPECT_EQ(0, version.status);
    EXPECT_EQ(0u, version.out.find("applauncher-check ")) << version.out;
}

// The check finds the launcher the system would start and resolves it as the launcher does.
TEST_F(CheckTest, BundleOrLauncherGiveTheLaunchersOwnPath) {
    const struct {
        std::string given;    // relative to the bundle
        std::string started;  // the launcher the system starts
        std::string plist;    // CFBundleExecutable, "" for no Info.plist
        std::string linkedTo; // the launcher is a link to this file next to it, "" for none
    } cases[] = {
        {"", "Contents/MacOS/Demo", "", ""},
        {"/", "Contents/MacOS/Demo", "", ""},
        {"/Contents/MacOS/Demo", "Contents/MacOS/Demo", "", ""},
        {"", "Contents/MacOS/Other", "Other", ""},
        {"", "Contents/MacOS/A&B", "A&amp;B", ""},
        {"", "Contents/MacOS/Demo", "", "Demo.bin"},
        {"/Contents/MacOS/../MacOS/Demo", "Contents/MacOS/../MacOS/Demo", "", ""},
    };
    for (const auto& c : cases) {
        layOut(kDemoCfg);
        const std::string started = root + "/" + c.started;
        // The launcher named after the bundle stays as a decoy that a wrong choice would take.
        if (realPath(started) != exe) {
            writeFile(started, readFile(exe));
            ASSERT_EQ(0, ::chmod(started.c_str(), 0755));
        }
        if (!c.plist.empty()) {
            writeFile(root + "/Contents/Info.plist",
                      "<plist><dict><key>CFBundleName</key><string>Demo</string>\n"
                      "<key>CFBundleExecutable</key>\n  <string>" +
                          c.plist + "</string></dict></plist>\n");
        }
        if (!c.linkedTo.empty()) {
            ASSERT_EQ(0, std::rename(exe.c_str(), (exe + ".bin").c_str()));
            ASSERT_EQ(0, ::symlink(c.linkedTo.c_str(), exe.c_str()));
        }
        // The configuration is named after the launcher as it resolves.
        const std::string resolved = realPath(started);
        const std::string name = resolved.substr(resolved.rfind('/') + 1);
        writeFile(appDir + "/" + name + ".cfg", kDemoCfg);

        std::remove(recordPath.c_str());
        const Outcome launched = run(started, {}, env);
        ASSERT_EQ(0, launched.status) << launched.err;
        const std::vector<std::vector<std::string>> recorded = records();
        ASSERT_EQ(1u, recorded.size()) << c.given << c.started;
        std::vector<std::string> want;
        for (const std::string& line : recorded[0]) {
            if (line.compare(0, 4, "arg=") == 0) {
                want.push_back(line.substr(4));
            }
        }
        const Outcome checked = check({"--args", root + c.given});
        EXPECT_EQ(want, lines(checked.out)) << c.given << c.started << checked.err;
    }
}

TEST_F(CheckTest, WhereTheLauncherFailsTheCheckFailsWithItsLine) {
    // The check reads the launch library and never loads it: where the launcher's line is
    // the loader's, the check's says what the library's headers say.
    const std::string lib =
        "launch library \"" + root + "/Contents/runtime/Contents/Home/lib/libjli.dylib\" ";
    const struct {
        std::string cfg; // "" for none
        std::string jli;
        std::string checkErr; // "" for the launcher's own
    } cases[] = {
        {"", FAKEJLI_PATH, ""},
        {"[Application]\n[JavaOptions\n", FAKEJLI_PATH, ""},
        {kDemoCfg, "", ""},
        {kDemoCfg, NOJLI_PATH, lib + "cannot be used: its symbol table has no JLI_Launch"},
        {kDemoCfg, tmp / "not-a-library",
         lib + "cannot be loaded: it is no ELF, Mach-O or universal file"},
    };
    writeFile(tmp / "not-a-library", "text");
    for (const auto& c : cases) {
        layOut(c.cfg, c.jli);
        if (c.cfg.empty()) {
            std::remove(cfgPath.c_str());
        }
        const Outcome launched = launch();
        ASSERT_EQ(1, launched.status) << c.cfg << c.jli;
        ASSERT_EQ(1u, lines(launched.err).size()) << launched.err;
        for (const std::string& mode : {std::string("--args"), std::string()}) {
            std::vector<std::string> args = {root};
            if (!mode.empty()) {
                args.insert(args.begin(), mode);
            }
            const Outcome checked = check(args);
            EXPECT_EQ(1, checked.status) << c.cfg << c.jli;
            EXPECT_EQ(c.checkErr.empty() ? launched.err : c.checkErr + "\n", checked.err)
                << c.cfg << c.jli;
            if (!mode.empty()) {
                EXPECT_EQ("", checked.out);
            }
        }
    }
}

TEST_F(CheckTest, LibraryOfAnotherArchitectureIsNamed) {
    // A Mach-O header for arm64 and a universal one with arm64 and i386 only.
    const std::string arm64("\xcf\xfa\xed\xfe\x0c\x00\x00\x01\x00\x00\x00\x00", 12);
    const std::string fat(
        "\xca\xfe\xba\xbe\x00\x00\x00\x02"
        "\x01\x00\x00\x0c\x00\x00\x00\x00\x00\x00\x10\x00\x00\x00\x10\x00\x00\x00\x00\x0e"
        "\x00\x00\x00\x07\x00\x00\x00\x03\x00\x00\x20\x00\x00\x00\x10\x00\x00\x00\x00\x0e",
        48);
    const struct {
        std::string header;
        std::string error;
        std::string archs;
    } cases[] = {
        {arm64, "is a Mach-O file for arm64, but the launcher is x86_64: it cannot be loaded",
         "a Mach-O file for arm64"},
        {fat,
         "is a universal file for arm64, i386 without x86_64, the launcher's architecture: "
         "it cannot be loaded",
         "a universal file for arm64, i386"},
    };
    for (const auto& c : cases) {
        writeFile(tmp / "libjli.dylib", c.header);
        layOut(kDemoCfg, tmp / "libjli.dylib");
        const Outcome o = check({root});
        EXPECT_EQ(1, o.status);
        const std::string want = cfgPath + ":1: error: launch library \"" + root +
                                 "/Contents/runtime/Contents/Home/lib/libjli.dylib\" " + c.error;
        const std::vector<std::string> found = warnings(o);
        EXPECT_NE(found.end(), std::find(found.begin(), found.end(), want)) << o.out;
        EXPECT_EQ(
            "launch library \"" + root +
                "/Contents/runtime/Contents/Home/lib/libjli.dylib\" cannot be loaded: it is " +
                c.archs + ", and this machine runs Linux x86_64\n",
            o.err);
    }
}

// A bundle for another system, a Mac bundle made on Linux say: its launcher and runtime cannot
// start here, so the check judges without them and says so, instead of failing on them.
TEST_F(CheckTest, BundleForAnotherSystemIsJudgedWithoutItsRuntime) {
    const std::string machO("\xcf\xfa\xed\xfe\x07\x00\x00\x01\x03\x00\x00\x00", 12);
    // An ELF runtime (this host's) in a Mac bundle is a certain failure.
    const struct {
        std::string lib;
        int status;
        std::string error;
    } cases[] = {
        {machO, 0, ""},
        {readFile(APPLAUNCHER_CHECK_PATH), 1,
         cfgPath + ":1: error: launch library \"" + root +
             "/Contents/runtime/Contents/Home/lib/libjli.dylib\" is an ELF file, but the launcher "
             "\"" +
             exe + "\" is a Mach-O file: it cannot be loaded"},
    };
    for (const auto& c : cases) {
        writeFile(tmp / "libjli.dylib", c.lib);
        layOut("[Application]\napp.classpath=$APPDIR/demo.jar\napp.mainclass=demo.Main\n",
               tmp / "libjli.dylib");
        writeFile(exe, machO);
        writeFile(appDir + "/demo.jar", makeZip({storedEntry("demo/Main.class", "")}));
        const Outcome o = run(APPLAUNCHER_CHECK_PATH, {root}, env);
        EXPECT_EQ(c.status, o.status) << o.out << o.err;
        EXPECT_EQ("", o.err);
        EXPECT_NE(std::string::npos,
                  o.out.find("\nnote: the runtime's verdict is missing: the launcher is a Mach-O "
                             "file for x86_64 and cannot run on this machine ("))
            << o.out;
        const std::vector<std::string> found = warnings(o);
        EXPECT_EQ(c.error.empty() ? std::vector<std::string>() : std::vector<std::string>{c.error},
                  found);
    }
}

// A bundle made to trip the check up: status 1 and one line, nothing read without bound.
TEST_F(CheckTest, BadBundleIsOneLine) {
    const std::string plist = root + "/Contents/Info.plist";
    const std::string cannot = "applauncher-check: \"" + plist + "\" cannot be read: ";
    const std::string closed = "; a Mac does not open the bundle";
    const std::string notRegular = "Error opening \"" + cfgPath + "\" file: not a regular file";
    const std::string leadsOut =
        "the configuration \"" + cfgPath + "\" leads out of the bundle, to ";
    const std::string secret = tmp / "secret";
    writeFile(secret, "[Application]\nSECRET-LINE\n");
    std::string deep = "<plist version=\"1.0\">";
    for (int i = 0; i < 175000; ++i) {
        deep += "<array>";
    }
    const struct {
        const char* what;
        std::function<void()> arrange;
        std::string err;
    } cases[] = {
        {"deep Info.plist", [&] { writeFile(plist, deep); },
         cannot + "its arrays and dictionaries nest deeper than 256 levels, the most the check "
                  "reads"},
        {"cut Info.plist",
         [&] { writeFile(plist, "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key>"); },
         cannot + "it is no property list" + closed},
        {"garbage after bplist00",
         [&] { writeFile(plist, std::string("bplist00\x9c\x01\xff\x7f\x00\x13\x80", 15)); },
         cannot + "it is no property list" + closed},
        {"Info.plist of an array",
         [&] { writeFile(plist, "<plist version=\"1.0\"><array/></plist>"); },
         cannot + "its top level is no dictionary" + closed},
        {"large Info.plist", [&] { writeFile(plist, std::string((8 << 20) + 1, ' ')); },
         cannot + "it is larger than 8 MB, the most the check reads"},
        {"Info.plist is a FIFO", [&] { ASSERT_EQ(0, ::mkfifo(plist.c_str(), 0600)); },
         cannot + "it is no regular file" + closed},
        {"configuration is a FIFO",
         [&] {
             ::unlink(cfgPath.c_str());
             ASSERT_EQ(0, ::mkfifo(cfgPath.c_str(), 0600));
         },
         notRegular},
        {"configuration links to /dev/zero",
         [&] {
             ::unlink(cfgPath.c_str());
             ASSERT_EQ(0, ::symlink("/dev/zero", cfgPath.c_str()));
         },
         leadsOut + "\"/dev/zero\": the check does not read it"},
        {"configuration links to a file outside",
         [&] {
             ::unlink(cfgPath.c_str());
             ASSERT_EQ(0, ::symlink(secret.c_str(), cfgPath.c_str()));
         },
         leadsOut + "\"" + realPath(secret) + "\": the check does not read it"},
        {"package file links to a file outside",
         [&] { ASSERT_EQ(0, ::symlink(secret.c_str(), (appDir + "/.package").c_str())); },
         "the package file \"" + appDir + "/.package\" leads out of the bundle, to \"" +
             realPath(secret) + "\": the check does not read it"},
        {"launcher without its execute permission",
         [&] { ASSERT_EQ(0, ::chmod(exe.c_str(), 0644)); },
         "applauncher-check: the launcher \"" + exe +
             "\" cannot be executed: it has no execute permission"},
    };
    for (const auto& c : cases) {
        layOut(kDemoCfg);
        c.arrange();
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{root}, std::vector<std::string>{"--args", root}}) {
            const Outcome o = check(args);
            EXPECT_EQ(1, o.status) << c.what;
            EXPECT_EQ(c.err + "\n", o.err) << c.what;
            EXPECT_EQ(std::string::npos, o.out.find("SECRET")) << c.what;
        }
    }
}

// What another user may change runs when the bundle starts: a warning on the line that reads
// it.
TEST_F(CheckTest, WhatAnotherUserCanChangeIsNamed) {
    const std::string lib = root + "/Contents/runtime/Contents/Home/lib";
    const std::string cannot = "can be changed by another user: \"";
    const std::string runs = "\" is writable by every user; what they write there runs when the "
                             "bundle starts";
    const struct {
        std::string dir;
        std::vector<std::string> warnings;
    } cases[] = {
        {appDir,
         {cfgPath + ":1: warning: the configuration \"" + cfgPath + "\" " + cannot + appDir +
          runs}},
        {lib,
         {cfgPath + ":1: warning: the launch library \"" + lib + "/libjli.dylib\" " + cannot + lib +
          runs}},
    };
    for (const auto& c : cases) {
        layOut(kDemoCfg);
        writeFile(appDir + "/demo.jar", makeZip({storedEntry("demo/Main.class", "")}));
        ASSERT_EQ(0, ::chmod(c.dir.c_str(), 0777));
        const Outcome o = check({root});
        EXPECT_EQ(c.warnings, warnings(o)) << c.dir << o.out;
        ASSERT_EQ(0, ::chmod(c.dir.c_str(), 0755));
    }
}

// A path with a line feed is printed escaped: each finding stays one line that names its file.
TEST_F(CheckTest, PathsArePrintedEscaped) {
    layOut(std::string(kDemoCfg) + "app.mainclas=x\n");
    const std::string odd = apps + "/New\nLine.app";
    ASSERT_EQ(0, std::rename(root.c_str(), odd.c_str()));
    const Outcome o = check({odd});
    const std::string shown = apps + "/New\\nLine.app";
    const std::string cfg = shown + "/Contents/app/Demo.cfg:";
    EXPECT_EQ((std::vector<std::string>{cfg + "2: warning: class path entry \"" + shown +
                                            "/Contents/app/demo.jar\" does not exist",
                                        cfg + "6: warning: unknown property \"app.mainclas\" in "
                                              "[JavaOptions] is ignored (did you mean "
                                              "\"app.mainclass\"?)"}),
              warnings(o))
        << o.out;
    EXPECT_EQ(std::string::npos, o.out.find("New\n")) << o.out;
}

// The launch library is read, never loaded by the check itself: a constructor of the bundle's
// runs only in the trial, and not at all without one.
TEST_F(CheckTest, NothingOfTheBundleRunsOutsideItsTrial) {
    const std::string loaded = tmp / "loaded";
    env["FAKEJLI_LOADED"] = loaded;
    layOut(kDemoCfg);
    const struct {
        std::vector<std::string> args;
        bool runs;
    } cases[] = {
        {{"--no-trial", root}, false},
        {{"--args", root}, false},
        {{"--terminal", "--trial-time", "20", root}, true},
    };
    for (const auto& c : cases) {
        std::remove(loaded.c_str());
        Started check = start(APPLAUNCHER_CHECK_PATH, c.args, env);
        const pid_t pid = check.pid;
        const Outcome o = finish(check);
        const std::string pids = readFile(loaded);
        EXPECT_EQ(c.runs, !pids.empty()) << c.args[0] << o.out << o.err;
        EXPECT_EQ(std::string::npos, pids.find(std::to_string(pid) + "\n"))
            << c.args[0] << " " << pids;
    }
}

// A command line the check cannot take, or an output it cannot write: status 1 and one line.
TEST_F(CheckTest, WhatTheCheckCannotDoIsOneLine) {
    layOut(kDemoCfg);
    writeFile(tmp / "notes.txt", "text\n");
    const std::string toFull = "exec \"$0\" \"$@\" >/dev/full";
    const std::string full =
        "applauncher-check: cannot write the output: No space left on device\n";
    const struct {
        std::string program;
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {APPLAUNCHER_CHECK_PATH,
         {"--frobnicate", root},
         "applauncher-check: unknown option --frobnicate (applauncher-check --help for help)\n"},
        {APPLAUNCHER_CHECK_PATH,
         {tmp / "notes.txt"},
         "applauncher-check: " + tmp / "notes.txt" +
             " is neither a bundle, a launcher, a .cfg file nor a directory\n"},
        {"/bin/sh", {"-c", toFull, APPLAUNCHER_CHECK_PATH, "--args", root}, full},
        {"/bin/sh", {"-c", toFull, APPLAUNCHER_CHECK_PATH, "--no-trial", root}, full},
        {"/bin/sh", {"-c", toFull, APPLAUNCHER_CHECK_PATH, "--layout"}, full},
    };
    for (const auto& c : cases) {
        const Outcome o = run(c.program, c.args, env);
        EXPECT_EQ(1, o.status) << c.args.back();
        EXPECT_EQ(c.err, o.err) << c.args.back();
    }
}

TEST_F(CheckTest, ReportNamesTheConfigurationAndWhy) {
    layOut(kDemoCfg);
    writeFile(appDir + "/demo.jar", makeZip({}));
    writeFile(appDir + "/.package", "org.example.demo\n");
    const std::string userCfg =
        env["HOME"] + "/Library/Application Support/org.example.demo/Demo.cfg";

    const struct {
        bool userFile;
        bool home;
        std::string line;
    } cases[] = {
        {false, true, "                   the bundle's own: there is no " + userCfg},
        {true, true, "                   the per-user file: it replaces " + cfgPath},
        {true, false, "HOME:              not set: no per-user configuration is looked for"},
    };
    for (const auto& c : cases) {
        std::remove(userCfg.c_str());
        if (c.userFile) {
            writeFile(userCfg, kDemoCfg);
        }
        Env saved = env;
        if (!c.home) {
            env.erase("HOME");
        }
        const Outcome o = check({"--terminal", root});
        env = saved;
        EXPECT_EQ(0, o.status) << o.out << o.err;
        const std::vector<std::string> out = lines(o.out);
        EXPECT_NE(out.end(), std::find(out.begin(), out.end(), c.line)) << o.out;
    }
}

// The text of the member key of the check's JSON object out, up to the next top-level member.
std::string member(const std::string& out, const std::string& key, const std::string& next) {
    const size_t from = out.find("\"" + key + "\": ");
    const size_t to = out.find(", \"" + next + "\": ", from);
    return from == std::string::npos || to == std::string::npos
               ? out
               : out.substr(from + key.size() + 4, to - from - key.size() - 4);
}

TEST_F(CheckTest, JsonSaysWhatTheLaunchReads) {
    const std::string outside = realPath(tmp.path()) + "/outside.jar";
    writeJar(outside, {{"o/O.class", ""}});
    layOut("[Application]\napp.classpath=$APPDIR/a.jar\napp.mainclass=x.Main\n[JavaOptions]\n"
           "java-options=-javaagent:$APPDIR/agent.jar=opt\n"
           "java-options=--class-path=$APPDIR/a.jar:$APPDIR/dir/*\n"
           "java-options=-Djava.library.path=$APPDIR/native\n");
    writeJar(appDir + "/a.jar", {}, "Class-Path: my%20lib.jar file:" + outside + "\n");
    writeJar(appDir + "/my lib.jar", {{"m/M.class", ""}});
    // The manifest's last line has no line feed: the runtime drops it.
    writeJar(appDir + "/agent.jar", {}, "Premain-Class: ag.Pre\nClass-Path: dropped.jar");
    writeJar(appDir + "/dir/c.jar", {{"c/C.class", ""}});
    writeFile(appDir + "/native/libx.so", readFile(FAKEJLI_PATH));
    // The temporary folder is the user's own: nothing to warn about.
    const Outcome o = check({"--format", "json", root});
    EXPECT_EQ(0, o.status) << o.out << o.err;
    const std::string cfg = "{\"file\": \"" + cfgPath + "\", \"line\": ";
    const auto read = [&](const std::string& path, const char* kind, bool inside, bool exists,
                          const std::string& from) {
        return std::string("{\"path\": \"") + path + "\", \"kind\": \"" + kind +
               "\", \"inside\": " + (inside ? "true" : "false") +
               ", \"exists\": " + (exists ? "true" : "false") + ", \"from\": " + from +
               ", \"finding\": null}";
    };
    const std::string manifest = "{\"manifest\": \"" + appDir + "/a.jar\"}";
    EXPECT_EQ("[" + read(appDir + "/agent.jar", "agent", true, true, cfg + "5}") + ", " +
                  read(appDir + "/native", "library-path", true, true, cfg + "7}") + ", " +
                  read(appDir + "/a.jar", "class-path", true, true, cfg + "6}") + ", " +
                  read(appDir + "/dir/c.jar", "class-path", true, true, cfg + "6}") + ", " +
                  read(appDir + "/my lib.jar", "manifest-class-path", true, true, manifest) + ", " +
                  read(outside, "manifest-class-path", false, true, manifest) + "]",
              member(o.out, "reads", "java_options_place"));
    EXPECT_EQ("[\"x.Main\", \"ag.Pre\"]", member(o.out, "roots", "command_line"));
    EXPECT_EQ(cfg + "7}", member(o.out, "java_options_place", "findings"));
    EXPECT_EQ("{\"class\": \"x.Main\", \"module\": null, \"jar\": null}",
              member(o.out, "main", "roots"));

    // Each entry of a class path joined from several lines names its own line.
    writeFile(cfgPath, "[Application]\napp.classpath=$APPDIR/dir/*\napp.classpath=$APPDIR/a.jar\n"
                       "app.mainclass=x.Main\n");
    EXPECT_EQ("[" + read(appDir + "/dir/c.jar", "class-path", true, true, cfg + "2}") + ", " +
                  read(appDir + "/a.jar", "class-path", true, true, cfg + "3}") + ", " +
                  read(appDir + "/my lib.jar", "manifest-class-path", true, true, manifest) + ", " +
                  read(outside, "manifest-class-path", false, true, manifest) + "]",
              member(check({"--format", "json", root}).out, "reads", "java_options_place"));
}

TEST_F(CheckTest, GithubAnnotatesTheConfiguration) {
    const struct {
        std::string cfg;
        std::string want; // with F for the configuration's path
        int status;
    } cases[] = {
        {kDemoCfg, "", 0},
        {std::string(kDemoCfg) + "java-options=-Dp=1 # 50%\n",
         "::warning file=F,line=6::\"# 50%25\" after the value of java-options is an inline "
         "comment, which the launcher keeps as part of the value: the runtime gets \"-Dp=1 # "
         "50%25\"; end the value at \"-Dp=1\" and move the comment to a line of its own that "
         "starts with \";\"\n",
         2},
    };
    for (const auto& c : cases) {
        layOut(c.cfg, FAKEJLI_PATH, false, "a,b%c");
        writeJar(apps + "/a,b%c.app/Contents/app/demo.jar", {{"demo/Main.class", ""}});
        const Outcome o = check({"--format", "github", apps + "/a,b%c.app"});
        std::string want = c.want;
        if (want.find("=F,") != std::string::npos) {
            want.replace(want.find("=F,") + 1, 1,
                         apps + "/a%2Cb%25c.app/Contents/app/a%2Cb%25c.cfg");
        }
        EXPECT_EQ(want, o.out) << c.cfg;
        EXPECT_EQ(c.status, o.status) << c.cfg;
    }
}

TEST_F(CheckTest, DoubleClickKeepsTheDisplay) {
    layOut(kDemoCfg);
    env["DISPLAY"] = ":42";
    env["XAUTHORITY"] = "/x/.Xauthority";
    env["WAYLAND_DISPLAY"] = "wayland-1";
    env["JAVA_HOME"] = "/shell/only";
    const Outcome o = run(APPLAUNCHER_CHECK_PATH, {"--double-click-env", root}, env);
    std::vector<std::string> kept;
    for (size_t start = 0, end; (end = o.out.find('\0', start)) != std::string::npos;
         start = end + 1) {
        const std::string e = o.out.substr(start, end - start);
        if (e.find("DISPLAY=") != std::string::npos || e.find("XAUTHORITY=") == 0 ||
            e.find("JAVA_HOME=") == 0) {
            kept.push_back(e);
        }
    }
#ifdef __APPLE__
    const std::vector<std::string> want;
#else
    // The Mac's window server has no variable; here the display stands in for it.
    const std::vector<std::string> want = {"DISPLAY=:42", "WAYLAND_DISPLAY=wayland-1",
                                           "XAUTHORITY=/x/.Xauthority"};
#endif
    EXPECT_EQ(want, kept) << o.err;
}

class CheckVerdictTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string javaHome = installedJavaHome();
        if (javaHome.empty()) {
            return;
        }
        work.reset(new TempDir());
        // The test application prints its arguments and the properties name, x and
        // java.version.
        writeFile(
            *work / "src/e2e/Show.java",
            "package e2e;\n"
            "public final class Show {\n"
            "    public static void main(String[] args) {\n"
            "        System.out.println(\"args=\" + String.join(\"|\", args) + \" name=\"\n"
            "            + System.getProperty(\"name\") + \" x=\" + System.getProperty(\"x\")\n"
            "            + \" v=\" + System.getProperty(\"java.version\"));\n"
            "    }\n"
            "}\n");
        writeFile(*work / "src/e2e/NoMain.java", "package e2e;\npublic final class NoMain {}\n");
        // The same class as a module with its main class, and a jar whose Main-Class is
        // elsewhere.
        writeFile(*work / "mod/module-info.java", "module e2e.show {}\n");
        writeFile(*work / "mod/e2e/Show.java", readFile(*work / "src/e2e/Show.java"));
        const std::string classes = *work / "classes";
        const auto tool = [&](const std::string& name, const std::vector<std::string>& args) {
            return run(javaHome + "/bin/" + name, args, baseEnv()).status == 0;
        };
        const auto jar = [&](const std::string& file, const std::string& mainClass,
                             const std::string& dir) {
            return tool("jar",
                        {"--create", "--file", file, "--main-class", mainClass, "-C", dir, "."});
        };
        // Class files every runtime here reads.
        if (!tool("javac", {"--release", "11", "-d", classes, *work / "src/e2e/Show.java",
                            *work / "src/e2e/NoMain.java"}) ||
            !tool("jar", {"--create", "--file", *work / "show.jar", "-C", classes, "."}) ||
            !jar(*work / "main.jar", "e2e.Show", classes) ||
            !jar(*work / "other.jar", "other.Main", classes) ||
            !tool("javac", {"--release", "11", "-d", *work / "mod-classes",
                            *work / "mod/module-info.java", *work / "mod/e2e/Show.java"}) ||
            (makeDirs(*work / "mods"),
             !jar(*work / "mods/show.jar", "e2e.Show", *work / "mod-classes"))) {
            work.reset();
        }
    }

    static void TearDownTestSuite() { work.reset(); }

    void SetUp() override {
        if (!work) {
            GTEST_SKIP() << "no Java runtime to compile and run the test application with";
        }
    }

    // A jar with the class e2e.Show whose class file says it is of version major.minor.
    static void versionedJar(const std::string& jarPath, uint16_t major, uint16_t minor) {
        TempDir dir;
        std::string bytes = readFile(*work / "classes/e2e/Show.class");
        bytes[4] = static_cast<char>(minor >> 8);
        bytes[5] = static_cast<char>(minor & 0xff);
        bytes[6] = static_cast<char>(major >> 8);
        bytes[7] = static_cast<char>(major & 0xff);
        writeFile(dir / "e2e/Show.class", bytes);
        EXPECT_EQ(0, run(installedJavaHome() + "/bin/jar",
                         {"--create", "--file", jarPath, "-C", dir.path(), "."}, baseEnv())
                         .status);
    }

    static std::unique_ptr<TempDir> work;
};

std::unique_ptr<TempDir> CheckVerdictTest::work;

// The version of the runtime at home, as its release file says.
std::string javaVersion(const std::string& home) {
    for (const std::string& line : lines(readFile(home + "/release"))) {
        if (line.compare(0, 14, "JAVA_VERSION=\"") == 0) {
            return line.substr(14, line.size() - 15);
        }
    }
    return std::string();
}

// Each configuration below starts the real runtime through the launcher, on every runtime on
// the machine, and the check's verdict must match what happens: an error where the launch
// fails, a finding where it fails, warns or hands over something other than what the
// configuration says, nothing where it runs as written.
TEST_F(CheckVerdictTest, VerdictMatchesTheRealLaunch) {
    enum Verdict { RUNS_AS_WRITTEN, RUNS_WARNED, RUNS_OTHERWISE, FAILS };
    const std::string classPath = "[Application]\napp.classpath=$APPDIR/show.jar\n";
    const std::string main = "app.mainclass=e2e.Show\n";
    const std::string modules = "[Application]\napp.modulepath=$APPDIR/mods\n";
#ifdef __APPLE__
    const Verdict dockOption = RUNS_AS_WRITTEN;
#else
    const Verdict dockOption = FAILS;
#endif
    for (const std::string& javaHome : installedJavaHomes()) {
        const std::string version = javaVersion(javaHome);
        const int feature = std::atoi(version.c_str());
        if (feature < 11) {
            continue; // the test application is of Java 11
        }
        // What the application prints when it gets what the configuration says.
        const auto shows = [&](const std::string& args, const std::string& name,
                               const std::string& x, const std::string& v = std::string()) {
            return "args=" + args + " name=" + name + " x=" + x +
                   " v=" + (v.empty() ? version : v) + "\n";
        };
        const std::string plain = shows("", "null", "null");
        const struct {
            std::string cfg;
            std::string meant;
            Verdict launch;
            int status; // the check's: 1 where it can tell that the launch fails
        } cases[] = {
            {classPath + main, plain, RUNS_AS_WRITTEN, 0},
            // Mistakes the launcher's own rules show.
            {classPath + "[JavaOptions]\njava-options=-Xmx64m\n[Application]\n" + main, plain,
             FAILS, 1},
            {classPath + main + "[JavaOptions]\njava-options=\"-Dname=My App\"\n",
             shows("", "My App", "null"), FAILS, 1},
            {classPath + main + "[JavaOptions]\njava-options=-Xmx64m -Dx=z\n",
             shows("", "null", "z"), FAILS, 1},
            {classPath + main +
                 "[JavaOptions]\njava-options=--add-opens java.base/java.lang=ALL-UNNAMED\n",
             plain, FAILS, 1},
            {classPath + main + "[JavaOptions]\njava-options=-Dname=\"My App\"\n",
             shows("", "My App", "null"), RUNS_OTHERWISE, 2},
            {classPath + main + "[JavaOptions]\njava-options=-Dname=a -Dx=b\n", shows("", "a", "b"),
             RUNS_OTHERWISE, 2},
            {classPath + main + "[JavaOptions]\njava-options=-verbose:gc -Dx=b\n",
             shows("", "null", "b"), RUNS_OTHERWISE, 2},
            {classPath + "app.mainclass=e2e.Show \n", plain, FAILS, 1},
            {classPath + main + "app.mainjar=$APPDIR/main.jar\n", plain, RUNS_OTHERWISE, 2},
            {classPath + main + "[ArgOptions]\narguments=-Dx=b\n", shows("", "null", "b"),
             RUNS_OTHERWISE, 2},
            {"[Application]\napp.classpath=~/show.jar\n" + main, plain, FAILS, 1},
            {"[Application]\napp.classpath=$(HOME)/show.jar\n" + main, plain, FAILS, 1},
            {"[Application]\napp.classpath=%APPDIR%/show.jar\n" + main, plain, FAILS, 1},
            {"[Application]\napp.classpath=$APPDIR/lib/*.jar\n" + main, plain, FAILS, 1},
            {"[Application]\r\napp.classpath=$APPDIR/show.jar\r\napp.mainclass=e2e.Show\r\n", plain,
             FAILS, 1},
            {classPath + "app.mainjar=$APPDIR/show.jar\n", plain, FAILS, 1},
            {classPath + "app.mainclass=e2e.Nowhere\n", plain, FAILS, 1},
            {classPath + "app.mainclass=e2e.show\n", plain, FAILS, 1},
            {classPath + "app.mainclass=e2e/Show.class\n", plain, FAILS, 1},
            {"[Application]\napp.mainjar=$APPDIR/other.jar\n", plain, FAILS, 1},
            {modules + "app.mainmodule=e2e.nowhere\n", plain, FAILS, 1},
            {modules + "app.mainmodule=e2e.show/e2e.Nope\n", plain, FAILS, 1},
            {classPath + main + "[JavaOptions]\njava-options=-Xmx64m # the heap\n", plain, FAILS,
             1},
            {classPath + main + "[JavaOptions]\njava-options=-Dx=1 # the x\n",
             shows("", "null", "1"), RUNS_OTHERWISE, 2},
            {classPath + main + "[JavaOptions]\njava-options=@$APPDIR/show.options\n",
             shows("", "null", "file"), FAILS, 1},
            {classPath + main + "[JavaOptions]\njava-options=-jar\njava-options=$APPDIR/main.jar\n",
             plain, RUNS_OTHERWISE, 2},
            // Mistakes only the runtime knows.
            {classPath + main + "[JavaOptions]\njava-options=-Xmx64q\n", plain, FAILS, 1},
            {classPath + main + "[JavaOptions]\njava-options=-XX:MaxRAMPercentage=50%\n", plain,
             FAILS, 1},
            {classPath + main + "[JavaOptions]\njava-options=-XX:+UseConcMarkSweepGC\n", plain,
             FAILS, 1},
            {classPath + main + "[JavaOptions]\njava-options=-Xdock:name=Show\n", plain, dockOption,
             dockOption == FAILS ? 1 : 0},
            {classPath + main + "[JavaOptions]\njava-options=--add-modules=java.nowhere\n", plain,
             FAILS, 1},
            {classPath + main + "[JavaOptions]\njava-options=-javaagent:$APPDIR/agent.jar\n", plain,
             FAILS, 1},
            {"[Application]\napp.classpath=$APPDIR/new.jar\n" + main, plain, FAILS, 1},
            {"[Application]\napp.classpath=$APPDIR/preview.jar\n" + main, plain, FAILS, 1},
            {classPath + "app.mainclass=e2e.NoMain\n", plain, FAILS, 1},
            {classPath + main +
                 "[JavaOptions]\njava-options=--add-opens\njava-options=e2e.nowhere/"
                 "e2e=ALL-UNNAMED\n",
             plain, RUNS_WARNED, 2},
            {classPath + main + "[JavaOptions]\njava-options=-Djava.version=1.2\n",
             shows("", "null", "null", "1.2"), RUNS_OTHERWISE, 2},
            // The runtime's own log: its warnings and errors are its words, its other levels
            // are not.
            {classPath + main +
                 "[JavaOptions]\njava-options=-XX:+UseSerialGC\njava-options=-Xmx256m\n"
                 "java-options=-Xmn512m\n",
             plain, RUNS_OTHERWISE, 2},
            {classPath + main + "[JavaOptions]\njava-options=-Xlog:gc:file=$APPDIR/no/gc.log\n",
             plain, FAILS, 1},
            {classPath + main + "[JavaOptions]\njava-options=-Xlog:gc*=info:stderr:time,pid\n",
             plain, RUNS_AS_WRITTEN, 0},
            // Configurations that launch as written.
            {classPath + "app.mainclass=e2e/Show\n", plain, RUNS_AS_WRITTEN, 0},
            {modules + "app.mainmodule=e2e.show/e2e.Show\n", plain, RUNS_AS_WRITTEN, 0},
            {modules + "app.mainmodule=e2e.show\n", plain, RUNS_AS_WRITTEN, 0},
            {"[Application]\napp.classpath=$APPDIR/lib/*\n" + main, plain, RUNS_AS_WRITTEN, 0},
            {classPath + main + "[JavaOptions]\njava-options=-Dname=\\$APPDIR\n",
             shows("", "$APPDIR", "null"), RUNS_AS_WRITTEN, 0},
            {"[Application]\n" + main +
                 "[JavaOptions]\njava-options=-cp\njava-options=$APPDIR/show.jar\n",
             plain, RUNS_AS_WRITTEN, 0},
            {"[Application]\napp.classpath=$HOME/../show.jar\n" + main, plain, RUNS_AS_WRITTEN, 0},
            {classPath + main + "[JavaOptions]\njava-options=-Dname=My App\n[ArgOptions]\n",
             shows("", "My App", "null"), RUNS_AS_WRITTEN, 0},
            {classPath + main + "[JavaOptions]\njava-options=-Dname=open -a TextEdit\n",
             shows("", "open -a TextEdit", "null"), RUNS_AS_WRITTEN, 0},
            {"[Application]\napp.mainjar=$APPDIR/main.jar\n", plain, RUNS_AS_WRITTEN, 0},
        };

        TempDir tmp;
        const std::string apps = realPath(tmp.path());
        writeFile(tmp / "Show.cfg", classPath + main);
        const std::string root =
            makeBundle({"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", apps, "-c", tmp / "Show.cfg",
                        "-L", javaHome, *work / "show.jar", *work / "main.jar", *work / "other.jar",
                        *work / "mods"});
        ASSERT_FALSE(root.empty());
        const std::string appDir = root + "/Contents/app";
        writeFile(appDir + "/lib/show.jar", readFile(*work / "show.jar"));
        writeFile(appDir + "/show.options", "-Dx=file\n");
        versionedJar(appDir + "/new.jar", static_cast<uint16_t>(feature + 45), 0);
        versionedJar(appDir + "/preview.jar", static_cast<uint16_t>(feature + 44), 0xffff);
        Env env = javaEnv();
        writeFile(appDir + "/home/.profile", "");
        env["HOME"] = appDir + "/home"; // $HOME/.. is the application directory
        // Read by the java command, not by the launch library: neither launch sees it.
        env["JDK_JAVA_OPTIONS"] = "-Xmx1q";

        for (const auto& c : cases) {
            writeFile(appDir + "/Show.cfg", c.cfg);
            const Outcome launched = run(root + "/Contents/MacOS/Show", {}, env);
            const Outcome checked = run(APPLAUNCHER_CHECK_PATH, {root}, env);
            const Verdict seen = launched.status != 0      ? FAILS
                                 : launched.out != c.meant ? RUNS_OTHERWISE
                                 : launched.err.find("WARNING:") != std::string::npos
                                     ? RUNS_WARNED
                                     : RUNS_AS_WRITTEN;
            EXPECT_EQ(c.launch, seen) << javaHome << "\n" << c.cfg << launched.out << launched.err;
            EXPECT_EQ(c.status, checked.status) << javaHome << "\n" << c.cfg << checked.out;
            // A clean configuration is clean typed in the shell too.
            if (c.status == 0) {
                const Outcome typed = run(APPLAUNCHER_CHECK_PATH, {"--terminal", root}, env);
                EXPECT_EQ(0, typed.status) << javaHome << "\n" << c.cfg << typed.out;
            }
            EXPECT_EQ(std::string::npos, checked.out.find("verdict is missing")) << checked.out;
            // Every finding names the configuration's line.
            if (checked.status != 0) {
                EXPECT_NE(std::string::npos, checked.out.find(appDir + "/Show.cfg:"))
                    << checked.out;
            }
        }
    }
}

// The trial with the real runtime and an agent that misbehaves: whatever ends the check ends
// every process of the trial, and the runtime's words come through floods of output.
class CheckTrialTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string javaHome = installedJavaHome();
        if (javaHome.empty()) {
            return;
        }
        work.reset(new TempDir());
        // The agent's argument: what it does, the file that gets its pid, the sleep's duration
        // (a marker in the command line of what it starts).
        writeFile(*work / "src/t/Agent.java",
                  "package t;\n"
                  "public final class Agent {\n"
                  "    public static void premain(String arg) throws Exception {\n"
                  "        String[] a = arg.split(\",\");\n"
                  "        java.nio.file.Files.write(java.nio.file.Paths.get(a[1]),\n"
                  "            Long.toString(ProcessHandle.current().pid()).getBytes());\n"
                  "        if (a[0].contains(\"setsid\")) {\n"
                  "            new ProcessBuilder(\"setsid\", \"sleep\", a[2]).start();\n"
                  "            new ProcessBuilder(\"sleep\", a[2]).start();\n"
                  "        }\n"
                  "        long keeper = ProcessHandle.current().parent().get().pid();\n"
                  "        if (a[0].contains(\"killparent\") || a[0].contains(\"stopparent\")) {\n"
                  "            new ProcessBuilder(\"kill\", a[0].contains(\"kill\") ? \"-KILL\" : "
                  "\"-STOP\",\n"
                  "                Long.toString(keeper)).start().waitFor();\n"
                  "        }\n"
                  "        for (int i = 0; a[0].contains(\"flood\") && i < 30000; ++i) {\n"
                  "            System.out.println(\"agent \" + i + \" \" + \"-\".repeat(60));\n"
                  "        }\n"
                  "        if (a[0].contains(\"sleep\")) {\n"
                  "            Thread.sleep(1000000);\n"
                  "        }\n"
                  "    }\n"
                  "}\n");
        writeFile(*work / "src/t/NoMain.java", "package t;\npublic final class NoMain {}\n");
        writeFile(*work / "src/t/Main.java", "package t;\npublic final class Main {\n"
                                             "    public static void main(String[] args) {}\n}\n");
        writeFile(*work / "agent.mf", "Premain-Class: t.Agent\n");
        const Env env = baseEnv();
        if (run(javaHome + "/bin/javac",
                {"-d", *work / "classes", *work / "src/t/Agent.java", *work / "src/t/NoMain.java",
                 *work / "src/t/Main.java"},
                env)
                    .status != 0 ||
            run(javaHome + "/bin/jar",
                {"--create", "--file", *work / "t.jar", "--manifest", *work / "agent.mf", "-C",
                 *work / "classes", "."},
                env)
                    .status != 0) {
            work.reset();
            return;
        }
        writeFile(*work / "T.cfg",
                  "[Application]\napp.classpath=$APPDIR/t.jar\napp.mainclass=t.Main\n");
        root = makeBundle({"-l", APPLAUNCHER_PATH, "-n", "T", "-o", work->path(), "-c",
                           *work / "T.cfg", "-L", javaHome, *work / "t.jar"});
    }

    static void TearDownTestSuite() { work.reset(); }

    void SetUp() override {
        if (!work || root.empty()) {
            GTEST_SKIP() << "no Java runtime to compile and run the test agent with";
        }
    }

    // Lays out the configuration of mainClass with the agent doing what, options after it, and
    // a marker of this call.
    void withAgent(const std::string& what, const std::string& mainClass,
                   const std::string& options = std::string()) {
        marker = "1000." + std::to_string(::getpid()) + std::to_string(++calls);
        writeFile(*work / "agent.pid", "");
        writeFile(root + "/Contents/app/T.cfg",
                  "[Application]\napp.classpath=$APPDIR/t.jar\napp.mainclass=" + mainClass +
                      "\n[JavaOptions]\njava-options=-javaagent:$APPDIR/t.jar=" + what + "," +
                      *work / "agent.pid" + "," + marker + "\n" + options);
    }

    // The processes of the last trial still there: the agent's runtime and what it started.
    std::vector<std::string> survivors() const {
        std::vector<std::string> found;
        const std::string pid = readFile(*work / "agent.pid");
        DIR* proc = ::opendir("/proc");
        std::vector<std::string> dirs;
        while (const dirent* entry = proc ? ::readdir(proc) : nullptr) {
            dirs.push_back(entry->d_name);
        }
        if (proc) {
            ::closedir(proc);
        }
        for (const std::string& dir : dirs) {
            const std::string cmdline = readFile("/proc/" + dir + "/cmdline");
            const std::string stat = readFile("/proc/" + dir + "/stat");
            const bool zombie = stat.find(") Z ") != std::string::npos;
            if (!zombie && (cmdline.find(marker) != std::string::npos ||
                            (dir == pid && cmdline.find("--trial-start") != std::string::npos))) {
                found.push_back(dir + " " + cmdline);
            }
        }
        return found;
    }

    // Waits a while for the processes of the trial to end; those that did not.
    std::vector<std::string> survivorsAfterAWhile() const {
        for (int i = 0; i < 200 && !survivors().empty(); ++i) {
            ::usleep(50000);
        }
        return survivors();
    }

    static std::unique_ptr<TempDir> work;
    static std::string root;
    std::string marker;
    int calls = 0;
};

std::unique_ptr<TempDir> CheckTrialTest::work;
std::string CheckTrialTest::root;

TEST_F(CheckTrialTest, NothingOfTheTrialOutlivesTheCheck) {
    const struct {
        std::string agent;
        int signal; // 0: the check ends by itself
        int status;
    } cases[] = {
        {"setsid", 0, 0},
        {"setsid+sleep", 0, 0},
        {"setsid+sleep", SIGTERM, 128 + SIGTERM},
        {"setsid+sleep", SIGINT, 128 + SIGINT},
        {"setsid+sleep", SIGHUP, 128 + SIGHUP},
        {"setsid+sleep", SIGKILL, 128 + SIGKILL},
        // The trial ends or stops what watches it: the check ends the trial itself, and judges
        // nothing.
        {"setsid+killparent+sleep", 0, 1},
        {"setsid+stopparent+sleep", 0, 1},
    };
    for (const auto& c : cases) {
        withAgent(c.agent, "t.Main");
        Started check = start(APPLAUNCHER_CHECK_PATH, {"--trial-time", "3", root}, javaEnv());
        if (c.signal) {
            // Once the agent has started everything.
            for (int i = 0; i < 600 && survivors().size() < 3; ++i) {
                ::usleep(50000);
            }
            ASSERT_EQ(3u, survivors().size()) << c.agent;
            ::kill(check.pid, c.signal);
        }
        const Outcome o = finish(check);
        EXPECT_EQ(c.status, o.status) << c.agent << " " << c.signal << "\n" << o.out << o.err;
        if (c.agent.find("parent") != std::string::npos) {
            EXPECT_EQ("the runtime's verdict is missing: the trial's keeper " +
                          std::string(c.agent.find("kill") != std::string::npos
                                          ? "was ended by signal 9"
                                          : "was stopped") +
                          " before the runtime's verdict (the trial's own code can do that); the "
                          "bundle is not judged\n",
                      o.err);
        }
        EXPECT_EQ(std::vector<std::string>(), survivorsAfterAWhile()) << c.agent << " " << c.signal;
    }
}

TEST_F(CheckTrialTest, RunEndsAsAskedWithAllItStarted) {
    TempDir tmp;
    const std::string log = tmp / "run.log";
    const std::string home = realPath(tmp.path());
    const struct {
        std::string agent;
        std::string mainClass;
        std::string options;
        std::vector<std::string> run;
        std::string want; // how it ended, without the seconds
        std::string logged;
    } cases[] = {
        // An added option counts over a configured one; HOME is in place for the launcher.
        {"quiet",
         "t.Main",
         "java-options=-Dh=$HOME\njava-options=-Dx=conf\n",
         {"--run-option", "-XshowSettings:properties", "--run-option", "-Dx=run", "--run-home",
          home},
         "{\"status\": 0, \"signal\": null, \"ended\": \"exited\"",
         "    h = " + home + "\n    java.class.path = " + root +
             "/Contents/app/t.jar\n    java.class.version"},
        {"quiet",
         "t.NoMain",
         "",
         {},
         "{\"status\": 1, \"signal\": null, \"ended\": \"exited\"",
         "Error: Main method not found in class t.NoMain"},
        {"setsid sleep",
         "t.Main",
         "",
         {"--run-seconds", "2"},
         "{\"status\": 143, \"signal\": null, \"ended\": \"time limit\"",
         ""},
        {"sleep",
         "t.Main",
         "",
         {"--run-idle", "1", "--run-seconds", "600"},
         "{\"status\": 143, \"signal\": null, \"ended\": \"idle\"",
         ""},
        // Without the runtime's own handler, SIGTERM ends it.
        {"sleep",
         "t.Main",
         "java-options=-Xrs\n",
         {"--run-seconds", "1"},
         "{\"status\": null, \"signal\": 15, \"ended\": \"time limit\"",
         ""},
    };
    for (const auto& c : cases) {
        withAgent(c.agent, c.mainClass, c.options);
        std::vector<std::string> args = {"--run", "--run-log", log};
        args.insert(args.end(), c.run.begin(), c.run.end());
        args.push_back(root);
        const Outcome o = run(APPLAUNCHER_CHECK_PATH, args, javaEnv());
        EXPECT_EQ(0, o.status) << c.agent << " " << o.err;
        EXPECT_EQ(c.want + ", \"seconds\": ", o.out.substr(0, c.want.size() + 13)) << c.agent;
        EXPECT_NE(std::string::npos, readFile(log).find(c.logged)) << c.agent << readFile(log);
        EXPECT_EQ(std::vector<std::string>(), survivorsAfterAWhile()) << c.agent;
    }
}

// A runtime that cannot start within the memory the check itself is given: the machine's limit,
// no line of the configuration.
TEST_F(CheckTrialTest, TheMachinesLimitIsNoLinesFault) {
#ifdef LAUNCHER_SANITIZED
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under ulimit -v";
#endif
    withAgent("quiet", "t.Main");
    const Outcome o = run(
        "/bin/sh", {"-c", "ulimit -v 300000 && exec \"$0\" \"$@\"", APPLAUNCHER_CHECK_PATH, root},
        javaEnv());
    EXPECT_EQ(0, o.status) << o.out << o.err;
    EXPECT_NE(std::string::npos,
              o.out.find("\nnote: the runtime's verdict is missing: the runtime fails on this "
                         "machine as the check runs (its memory is limited to 300000 KB (ulimit "
                         "-v)): "))
        << o.out;
    EXPECT_EQ(std::string::npos, o.out.find(": error: ")) << o.out;
}

TEST_F(CheckTrialTest, TheRuntimesErrorComesThroughFloods) {
    const std::string big(10 << 20, 'x');
    const std::string noMain =
        "the runtime fails: \"Error: Main method not found in class t.NoMain";
    const struct {
        std::string agent;
        std::string mainClass;
        std::string options;
        int status;
        std::string found;
    } cases[] = {
        {"quiet", "t.NoMain", "java-options=-verbose:class\n", 1, noMain},
        {"quiet", "t.NoMain", "java-options=-Xlog:class+load=info:stdout\n", 1, noMain},
        {"flood", "t.NoMain", "", 1, noMain},
        // The application gets the whole value: nothing to say.
        {"quiet", "t.Main", "java-options=-Dbig=" + big + "\n", 0, "\nno warnings\n"},
    };
    for (const auto& c : cases) {
        withAgent(c.agent, c.mainClass, c.options);
        const Outcome o = run(APPLAUNCHER_CHECK_PATH, {root}, javaEnv());
        EXPECT_EQ(c.status, o.status) << c.options.substr(0, 80) << o.out.substr(0, 4000);
        EXPECT_NE(std::string::npos, o.out.find(c.found))
            << c.options.substr(0, 80) << o.out.substr(0, 4000);
    }
    // Started with SIGCHLD ignored (as some callers leave it), where the system would reap the
    // trial before the keeper saw it end: the verdict still comes.
    withAgent("quiet", "t.NoMain");
    const Outcome o = run("/usr/bin/env",
                          {"python3", "-c",
                           "import os, signal, sys; signal.signal(signal.SIGCHLD, signal.SIG_IGN); "
                           "os.execv(sys.argv[1], sys.argv[1:])",
                           APPLAUNCHER_CHECK_PATH, "--trial-time", "20", root},
                          javaEnv());
    EXPECT_EQ(1, o.status) << o.out;
    EXPECT_NE(std::string::npos, o.out.find(noMain)) << o.out;
}

// Further trial starts: the lines that cause what the runtime says, found without them
// (also where its words name no line, or name two lines alike), what it changes without a
// word, and what it starts and reads its classes from, as it lists them.
TEST_F(CheckVerdictTest, FurtherTrialStartsFindTheLineAndTheSilentChange) {
    const std::string head =
        "[Application]\napp.classpath=$APPDIR/show.jar\napp.mainclass=e2e.Show\n"
        "[JavaOptions]\njava-options=-Xmx64m\n";
    const std::string opens = "java-options=--add-opens\njava-options=java.base/java.lang=";
    const std::string app =
        "[Application]\napp.classpath=$APPDIR/show.jar\napp.mainclass=e2e.Show\n";
    const struct {
        std::string options; // after head, or a whole configuration that starts with "["
        std::string finding; // after "<cfg>:"
    } cases[] = {
        {"java-options=--add-opens\n",
         "6: error: the runtime fails: \"Error: --add-opens requires modules to be specified\""},
        // A value that is no option goes with an option before it, not with another value.
        {"java-options=\"-Dname=My App\"\njava-options=@$APPDIR/show.options\n",
         "6: error: the runtime fails: \"Error: Could not find or load main class \"-Dname=My "
         "App\"\""},
        {app + "app.mainjar=$APPDIR/main.jar\n",
         "4: warning: app.mainjar is not what the runtime starts: it starts app.mainclass and "
         "hands \"-jar\" and \"@APPDIR@/main.jar\" to the application as arguments; keep only "
         "one of app.mainclass, app.mainjar and app.mainmodule"},
        {"java-options=-jar\njava-options=$APPDIR/main.jar\n",
         "2: warning: app.classpath is ignored: with -jar the runtime takes classes only from the "
         "main jar and the jars its manifest's Class-Path names; list them there, or start "
         "app.mainclass with the jar on app.classpath"},
        {"java-options=-jar\njava-options=$APPDIR/main.jar\n",
         "7: warning: java-options \"-jar\" and \"@APPDIR@/main.jar\" start the jar: the "
         "application gets what follows as its arguments, the launcher's "
         "\"-Dvorlane.app-path=@ROOT@/Contents/MacOS/Show\" among them, and the property "
         "vorlane.app-path is not set; name it with app.mainjar instead"},
        {"java-options=-cp\njava-options=$APPDIR/show.jar:$APPDIR/main.jar\n",
         "2: warning: the class path \"@APPDIR@/show.jar\" is ignored: the runtime uses only the "
         "last class path it is given (\"@APPDIR@/show.jar:@APPDIR@/main.jar\", line 7); join "
         "the entries with \":\" in one value"},
        {app + "app.modulepath=$APPDIR/mods\napp.modulepath=$APPDIR/lib\n",
         "4: warning: the module path \"@APPDIR@/mods\" is ignored: the runtime uses only the "
         "last module path it is given (\"@APPDIR@/lib\", line 5); join the entries with \":\" "
         "in one value"},
        {"java-options=-XX:+UseG1GC\njava-options=-Dx=1\njava-options=-XX:+UseParallelGC\n",
         "8: error: the runtime fails: \"Multiple garbage collectors selected\" (with line "
         "6)"},
        {opens + "ALL-UNNAMED\n" + opens + "ALL_UNNAMED\n",
         "9: warning: the runtime warns: \"WARNING: Unknown module: ALL_UNNAMED specified "
         "to "
         "--add-opens\""},
        {opens + "ALL_UNNAMED\n" + opens + "ALL-UNNAMED\n",
         "7: warning: the runtime warns: \"WARNING: Unknown module: ALL_UNNAMED specified "
         "to "
         "--add-opens\""},
        {"java-options=-Xmx128m\n", "5: warning: \"-Xmx64m\" does nothing: line 6 gives "
                                    "-Xmx again, and the runtime takes "
                                    "the later one"},
        {"java-options=-XX:+IgnoreUnrecognizedVMOptions\njava-options=-XX:+UseFooBar\n",
         "7: warning: the runtime does not know \"-XX:+UseFooBar\" and ignores it without "
         "a word "
         "(-XX:+IgnoreUnrecognizedVMOptions, line 6)"},
        {"java-options=-Duser.dir=$APPDIR\njava-options=-Duser.language=fr\n",
         "6: warning: \"-Duser.dir=@APPDIR@\" replaces a property the runtime sets itself "
         "(\"/\" here): the runtime and the libraries that read it get the value given "
         "instead"},
        {"java-options=-XX:+UseSerialGC\njava-options=-Xmx256m\njava-options=-Xmn512m\n",
         "8: warning: the runtime warns: \"[warning][gc,ergo] "},
        // Certain failures that a dry run does not reach, or whose words name another line.
        {"[Application]\napp.classpath=$APPDIR/Show.cfg:$APPDIR/show.jar\napp.mainclass=e2e.Show\n",
         "2: error: class path entry \"@APPDIR@/Show.cfg\" is no jar or zip file (a Git LFS "
         "pointer or a saved web page may have taken its place): the runtime passes over it "
         "without a word, and its classes are missing at their first use"},
        {"[Application]\napp.classpath=$NOWHERE/show.jar\napp.mainclass=e2e.Show\n",
         "2: error: the runtime fails: \"Error: Could not find or load main class e2e.Show\""},
        {"java-options=-Djava.home=/nowhere\n",
         "6: error: java.home is the runtime's own directory, where it reads its own files"},
        {"java-options=-XX:SharedArchiveFile=/nowhere/show.jsa\n",
         "6: warning: file \"/nowhere/show.jsa\" does not exist, nor does its folder "
         "\"/nowhere\": what reads it goes on without it"},
        {"java-options=-XX:SharedArchiveFile=/nowhere/show.jsa\njava-options=-Xshare:auto\n",
         "6: warning: the runtime cannot use this class-data archive and starts without class "
         "sharing, not even with its own archive, without a word; with -Xshare:on it says "},
    };
    TempDir tmp;
    writeFile(tmp / "Show.cfg", head);
    const std::string root = makeBundle(
        {"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", realPath(tmp.path()), "-c", tmp / "Show.cfg",
         "-L", installedJavaHome(), *work / "show.jar", *work / "main.jar"});
    ASSERT_FALSE(root.empty());
    const std::string appDir = root + "/Contents/app";
    const std::string cfg = appDir + "/Show.cfg";
    for (const auto& c : cases) {
        writeFile(cfg, c.options[0] == '[' ? c.options : head + c.options);
        const Outcome checked = run(APPLAUNCHER_CHECK_PATH, {root}, javaEnv());
        const std::vector<std::string> out = lines(checked.out);
        const std::string want =
            cfg + ":" + replaceAll(replaceAll(c.finding, "@APPDIR@", appDir), "@ROOT@", root);
        EXPECT_NE(out.end(), std::find_if(out.begin(), out.end(),
                                          [&](const std::string& line) {
                                              return line.compare(0, want.size(), want) == 0;
                                          }))
            << c.options << checked.out;
    }
}

// A Mac bundle checked here: an installed runtime of the same version stands in for its
// own, limited to its modules, with the options only a Mac accepts set aside.
TEST_F(CheckVerdictTest, StandInJudgesForARuntimeThatCannotRunHere) {
    const std::string javaHome = installedJavaHome();
    TempDir tmp;
    const std::string head =
        "[Application]\napp.classpath=$APPDIR/show.jar\napp.mainclass=e2e.Show\n";
    writeFile(tmp / "Show.cfg", head);
    const std::string root =
        makeBundle({"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", realPath(tmp.path()), "-c",
                    tmp / "Show.cfg", "-L", javaHome, *work / "show.jar"});
    ASSERT_FALSE(root.empty());
    const std::string machO("\xcf\xfa\xed\xfe\x07\x00\x00\x01\x03\x00\x00\x00", 12);
    const std::string home = root + "/Contents/runtime/Contents/Home";
    std::remove((home + "/lib/libjli.dylib").c_str());
    writeFile(home + "/lib/libjli.dylib", machO);
    writeFile(root + "/Contents/MacOS/Show", machO);
    writeFile(home + "/release", "JAVA_VERSION=\"" + javaVersion(javaHome) +
                                     "\"\nMODULES=\"java.base java.logging\"\n");
    const std::string cfg = root + "/Contents/app/Show.cfg";
    const std::string judged = "note: the bundle's own runtime cannot run on this machine: the "
                               "runtime's verdict is that of a stand-in, " +
                               javaHome + " (" + javaVersion(javaHome) +
                               "), limited to the bundle runtime's modules";
    const struct {
        std::string options;
        std::vector<std::string> given;
        std::string line; // a line of the output
        int status;
    } cases[] = {
        {"java-options=-Xdock:name=Show\n",
         {},
         judged + "; set aside, as only a Mac accepts them: \"-Xdock:name=Show\" (line 5)",
         0},
        {"java-options=-Xmx64q\n",
         {},
         cfg + ":5: error: the runtime fails: \"Invalid maximum heap "
               "size: -Xmx64q\"",
         1},
        {"java-options=--add-modules=java.logging\n", {}, judged, 0},
        {"",
         {"--trial-runtime", work->path()},
         "note: the runtime's verdict is missing: the launcher is a Mach-O file for x86_64 "
         "and "
         "cannot run on this machine (Linux x86_64); no installed runtime stands in for it "
         "(name "
         "one with --trial-runtime JAVA_HOME); the findings are the check's own",
         0},
    };
    for (const auto& c : cases) {
        writeFile(cfg, head + "[JavaOptions]\n" + c.options);
        std::vector<std::string> args = c.given;
        args.push_back(root);
        const Outcome checked = run(APPLAUNCHER_CHECK_PATH, args, javaEnv());
        EXPECT_EQ(c.status, checked.status) << c.options << checked.out;
        const std::vector<std::string> out = lines(checked.out);
        EXPECT_NE(out.end(), std::find(out.begin(), out.end(), c.line)) << c.options << checked.out;
    }
}

// The start judged by default is a double-click: launchd's few variables and the bundle's
// LSEnvironment, working directory "/". Each verdict is pinned against the real launch
// started that way, and against one typed in the shell, which has a variable the
// double-click lacks.
TEST_F(CheckVerdictTest, DoubleClickVerdictMatchesTheRealLaunch) {
    const std::string javaHome = installedJavaHome();
    TempDir tmp;
    const std::string apps = realPath(tmp.path());
    writeFile(tmp / "Show.cfg",
              "[Application]\napp.classpath=$APPDIR/show.jar\napp.mainclass=e2e.Show\n");
    const std::string root = makeBundle({"-l", APPLAUNCHER_PATH, "-n", "Show", "-o", apps, "-c",
                                         tmp / "Show.cfg", "-L", javaHome, *work / "show.jar"});
    ASSERT_FALSE(root.empty());
    const std::string appDir = root + "/Contents/app";
    Env shell = javaEnv();
    shell["SHOW_LIB"] = appDir;
    shell["SHOW_HEAP"] = "64m";
    Env doubleClick = javaEnv(); // the sanitizers' options, where there are any
    for (const char* name : {"HOME", "USER", "LOGNAME", "SHELL", "TMPDIR"}) {
        if (const char* value = std::getenv(name)) {
            doubleClick[name] = value;
        }
    }
    doubleClick["PATH"] = "/usr/bin:/bin:/usr/sbin:/sbin";
    doubleClick["XPC_FLAGS"] = "0x0";
    const int slash = ::open("/", O_RDONLY | O_DIRECTORY);
    RunOptions inSlash;
    inSlash.cwdFd = slash;
    // A Mac's "/" is read-only. Where this one is writable (the tests run as root), the
    // double-click stands in for it in a mount namespace: "/" read-only, the directories below
    // it as they are.
    const char* const readOnlyRoot =
        "mount --make-rprivate / && for d in /*/; do mount --rbind \"$d\" \"$d\"; done && "
        "mount -o remount,bind,ro / && exec \"$0\"";
    const bool slashWritable = ::access("/", W_OK) == 0;
    const bool canStandIn =
        !slashWritable || run("/usr/bin/unshare", {"-m", "true"}, javaEnv()).status == 0;
    const int typedDir = ::open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY);
    RunOptions inShell; // where the shell is: writable
    inShell.cwdFd = typedDir;
    const std::string main = "app.mainclass=e2e.Show\n";
    const std::string lsEnv = "<plist version=\"1.0\"><dict><key>LSEnvironment</key><dict>"
                              "<key>SHOW_LIB</key><string>" +
                              appDir + "</string></dict></dict></plist>";
    const struct {
        std::string cfg;
        bool givenByBundle; // LSEnvironment has SHOW_LIB
        bool typedRuns, clickedRuns;
        int typedStatus, clickedStatus;
    } cases[] = {
        {"[Application]\napp.classpath=$APPDIR/show.jar\n" + main, false, true, true, 0, 0},
        {"[Application]\napp.classpath=$SHOW_LIB/show.jar\n" + main, false, true, false, 0, 1},
        {"[Application]\napp.classpath=$SHOW_LIB/show.jar\n" + main, true, true, true, 0, 0},
        {"[Application]\napp.classpath=$APPDIR/show.jar\n" + main +
             "[JavaOptions]\njava-options=-Xmx$SHOW_HEAP\n",
         false, true, false, 0, 1},
        {"[Application]\napp.classpath=show.jar\n" + main, false, false, false, 1, 1},
        // The runtime opens its log where the launch starts: "/" refuses it.
        {"[Application]\napp.classpath=$APPDIR/show.jar\n" + main +
             "[JavaOptions]\njava-options=-Xlog:gc:file=show-gc.log\n",
         false, true, false, 0, 1},
    };
    for (const auto& c : cases) {
        if (!canStandIn && c.cfg.find("-Xlog") != std::string::npos) {
            std::cerr << "no mount namespace to stand in for a read-only \"/\": " << c.cfg;
            continue;
        }
        writeFile(appDir + "/Show.cfg", c.cfg);
        std::remove((root + "/Contents/Info.plist").c_str());
        Env clicked = doubleClick;
        if (c.givenByBundle) {
            writeFile(root + "/Contents/Info.plist", lsEnv);
            clicked["SHOW_LIB"] = appDir;
        }
        const std::string launcher = root + "/Contents/MacOS/Show";
        EXPECT_EQ(c.typedRuns, run(launcher, {}, shell, inShell).status == 0) << c.cfg;
        const Outcome clickedLaunch =
            slashWritable ? run("/usr/bin/unshare", {"-m", "sh", "-c", readOnlyRoot, launcher},
                                clicked, inSlash)
                          : run(launcher, {}, clicked, inSlash);
        EXPECT_EQ(c.clickedRuns, clickedLaunch.status == 0) << c.cfg << clickedLaunch.err;
        const Outcome typed = run(APPLAUNCHER_CHECK_PATH, {"--terminal", root}, shell, inShell);
        EXPECT_EQ(c.typedStatus, typed.status) << c.cfg << typed.out;
        const Outcome checked = run(APPLAUNCHER_CHECK_PATH, {root}, shell);
        EXPECT_EQ(c.clickedStatus, checked.status) << c.cfg << checked.out;
        EXPECT_EQ(std::string::npos, checked.out.find("verdict is missing")) << checked.out;
    }
    ::close(slash);
    ::close(typedDir);
}

} // namespace
