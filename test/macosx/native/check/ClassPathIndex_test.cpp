#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "ClassPathIndex.h"
#include "ProcessUtils.h"
#include "TestUtils.h"
#include "ZipTestUtils.h"

namespace {

// Class files only need to be there: nothing here loads them.
const std::string kClass = "\xca\xfe\xba\xbe";

// A class path with jars that name others in their manifests, a directory, the runtime's
// wildcard and jars behind links, each kind of location once.
class ClassPathTest : public ::testing::Test {
protected:
    ClassPathTest() : base(tmp.path()) {
        writeJar(
            tmp / "lib/app.jar", {{"app/Main.class", kClass}},
            "Class-Path: dep.jar sub/ ../shared/util%20x.jar classes missing.jar linked.jar\n");
        writeJar(tmp / "lib/dep.jar", {{"dep/Dep.class", kClass}}, "Class-Path: app.jar\n");
        writeFile(tmp / "lib/sub/s/Sub.class", kClass);
        writeJar(tmp / "shared/util x.jar", {{"util/Util.class", kClass}});
        writeFile(tmp / "lib/classes/c/InDir.class", kClass);
        // A jar that a Class-Path names is read where the URL points, links and all.
        writeJar(tmp / "store/linked.jar", {{"linked/Linked.class", kClass}},
                 "Class-Path: far.jar\n");
        writeJar(tmp / "store/far.jar", {{"far/Far.class", kClass}});
        symlink("../store/linked.jar", tmp / "lib/linked.jar");
        // A jar on the class path itself is read at its real location.
        writeJar(tmp / "store/real.jar", {{"real/Real.class", kClass}}, "Class-Path: near.jar\n");
        writeJar(tmp / "store/near.jar", {{"near/Near.class", kClass}});
        symlink("../store/real.jar", tmp / "links/app-link.jar");
        writeFile(tmp / "classes/a/b/Dir.class", kClass);
        writeJar(tmp / "wild/x.jar", {{"x/X.class", kClass}});
        writeJar(tmp / "wild/Y.JAR", {{"y/Y.class", kClass}});
        writeJar(tmp / "wild/z.Jar", {{"z/Z.class", kClass}});
        writeJar(tmp / "wild/.hidden.jar", {{"h/H.class", kClass}});
        writeFile(tmp / "wild/notes.txt", "not a jar\n");
        writeJar(tmp / "bad.jar", {{"bad/Bad.class", kClass}, {"shadow/S.class", kClass}},
                 "Bad Name: x\n");
        writeJar(tmp / "skipped.jar", {{"skipped/S.class", kClass}, {"shadow/T.class", kClass}},
                 "Class-Path: x.jar\nBad Name: x\n");
        writeJar(tmp / "later.jar", {{"shadow/S.class", kClass}, {"shadow/T.class", kClass}});
        classPath = {tmp / "lib/app.jar", tmp / "classes",           tmp / "wild/*",
                     tmp / "bad.jar",     tmp / "skipped.jar",       tmp / "later.jar",
                     tmp / "missing-dir", tmp / "links/app-link.jar"};
        for (const std::string& entry : classPath) {
            index.addClassPathEntry(entry);
        }
    }

    void symlink(const std::string& target, const std::string& link) {
        makeDirs(link.substr(0, link.rfind('/')));
        ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str())) << link;
    }

    TempDir tmp;
    const std::string base;
    std::vector<std::string> classPath;
    ClassPathIndex index;
};

const struct {
    const char* className;
    const char* where; // below the test directory, "" for nowhere
} kLookups[] = {
    {"app.Main", "lib/app.jar"},
    {"dep.Dep", "lib/dep.jar"},
    {"s.Sub", "lib/sub"},
    {"util.Util", "shared/util x.jar"},
    {"c.InDir", ""}, // its directory is named without a trailing "/"
    {"linked.Linked", "lib/linked.jar"},
    {"far.Far", ""}, // next to the link's target, not next to the link
    {"real.Real", "links/app-link.jar"},
    {"near.Near", "store/near.jar"},
    {"a.b.Dir", "classes"},
    {"a.b.dir", ""},
    {"A.b.Dir", ""},
    {"x.X", "wild/x.jar"},
    {"y.Y", "wild/Y.JAR"},
    {"z.Z", ""},
    {"h.H", "wild/.hidden.jar"},
    // A jar whose manifest the runtime refuses gives no class, and hides those after it unless
    // it has a Class-Path, in which case the runtime skips it.
    {"bad.Bad", ""},
    {"shadow.S", ""},
    {"skipped.S", ""},
    {"shadow.T", "later.jar"},
    {"app.Other", ""},
};

TEST_F(ClassPathTest, FindsClassesWhereTheRuntimeDoes) {
    for (const auto& l : kLookups) {
        if (std::string(l.className) != "shadow.S") {
            const std::string want = *l.where ? tmp / l.where : "";
            EXPECT_EQ(want, index.whereIs(l.className)) << l.className;
            EXPECT_EQ(*l.where != '\0', index.holds(l.className)) << l.className;
        }
    }
    EXPECT_TRUE(index.certain());
    // Whether a refused jar hides a class of a later one rests on how the runtime scans its
    // manifest: not certain.
    EXPECT_FALSE(index.holds("shadow.S"));
    EXPECT_FALSE(index.certain());
}

// The installed runtime finds each class where the index says, or nowhere.
TEST_F(ClassPathTest, TheRuntimeAgrees) {
    const std::string javaHome = installedJavaHome();
    if (javaHome.empty()) {
        GTEST_SKIP() << "no JDK (JAVA_HOME or java on PATH)";
    }
    writeFile(tmp / "probe/Probe.java", R"(
public class Probe {
    public static void main(String[] args) {
        ClassLoader loader = ClassLoader.getSystemClassLoader();
        for (String name : args) {
            // The class files are four bytes: a class that is found fails to link.
            String where = "-";
            try {
                Class.forName(name, false, loader);
            } catch (ClassNotFoundException e) {
                where = null;
            } catch (LinkageError e) {
            }
            if (where != null) {
                where = loader.getResource(name.replace('.', '/') + ".class").getPath();
            } else {
                where = "-";
            }
            System.out.println(name + " " + where);
        }
    }
}
)");
    // Compiled apart: the compiler would read the class path, and refuse bad.jar.
    const Outcome javac =
        run(javaHome + "/bin/javac", {"-d", tmp / "probe", tmp / "probe/Probe.java"}, baseEnv());
    ASSERT_EQ(0, javac.status) << javac.err;
    std::string cp = tmp / "probe";
    for (const std::string& entry : classPath) {
        cp += ":" + entry;
    }
    std::vector<std::string> args = {"-cp", cp, "Probe"};
    std::string want;
    for (const auto& l : kLookups) {
        args.push_back(l.className);
        const std::string where = *l.where ? tmp / l.where : "";
        want += std::string(l.className) + " " + (where.empty() ? "-" : where) + "\n";
    }
    const Outcome probe = run(javaHome + "/bin/java", args, baseEnv());
    ASSERT_EQ(0, probe.status) << probe.err;
    // The runtime answers with URLs: "file:<jar>!/<class>" for a jar, "<dir>/<class>" for a
    // directory; both with links resolved in the class path's own entries.
    std::string got;
    std::istringstream out(probe.out);
    for (std::string line; std::getline(out, line);) {
        const size_t blank = line.find(' ');
        const std::string name = line.substr(0, blank);
        std::string path = line.substr(blank + 1);
        if (path.compare(0, 5, "file:") == 0) {
            path = path.substr(5, path.find("!/") - 5);
        } else if (path != "-") {
            path = path.substr(0, path.size() - name.size() - 7);
        }
        for (size_t at; (at = path.find("%20")) != std::string::npos;) {
            path.replace(at, 3, " ");
        }
        got += name + " " + path + "\n";
    }
    // The index names the link the class path holds, the runtime its target.
    const std::string link = tmp / "links/app-link.jar";
    for (size_t at; (at = want.find(link)) != std::string::npos;) {
        want.replace(at, link.size(), tmp / "store/real.jar");
    }
    EXPECT_EQ(want, got);
}

TEST_F(ClassPathTest, ClassesOfAnotherLetterCase) {
    const struct {
        const char* asked;
        const char* other;
    } cases[] = {
        {"app.main", "app.Main"}, {"APP.MAIN", "app.Main"}, {"A.B.dir", "a.b.Dir"}, {"a.b.Dir", ""},
        {"app.Main", ""},         {"x.x", "x.X"},           {"nope.Nope", ""},      {"a.b", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.other, index.sameButCase(c.asked)) << c.asked;
    }
}

TEST(ClassPathIndexTest, WhatCannotBeReadMakesItUncertain) {
    TempDir tmp;
    writeFile(tmp / "damaged.jar", "PK\x03\x04 and then nothing that a zip file would hold");
    writeJar(tmp / "web.jar", {}, "Class-Path: http://example.com/lib.jar ok.jar\n");
    writeJar(tmp / "escape.jar", {}, "Class-Path: bad%zzname.jar\n");
    ASSERT_EQ(0, ::symlink("loop", (tmp / "loop").c_str()));
    // A damaged jar, a Class-Path URL of another scheme or with a bad escape, a loop of links.
    for (const std::string& entry :
         {tmp / "damaged.jar", tmp / "web.jar", tmp / "escape.jar", tmp / "loop", tmp / "loop/*"}) {
        ClassPathIndex index;
        index.addClassPathEntry(entry);
        EXPECT_FALSE(index.certain()) << entry;
    }
    // What is missing is certain: the runtime skips it.
    ClassPathIndex index;
    index.addClassPathEntry(tmp / "missing.jar");
    index.addClassPathEntry(tmp / "missing/*");
    index.addClassPathEntry(tmp / "damaged.jar/x");
    EXPECT_TRUE(index.certain());
}

TEST(ClassPathIndexTest, ChainsOfClassPathsEnd) {
    TempDir tmp;
    // Each jar names the next, and the last the first again.
    const int n = 100;
    for (int i = 0; i < n; ++i) {
        writeJar(tmp / ("j" + std::to_string(i) + ".jar"),
                 {{"p" + std::to_string(i) + "/C.class", kClass}},
                 "Class-Path: j" + std::to_string((i + 1) % n) + ".jar\n");
    }
    ClassPathIndex index;
    index.addClassPathEntry(tmp / "j0.jar");
    // Followed as deep as a real application could need, then no further.
    EXPECT_TRUE(index.holds("p63.C"));
    EXPECT_FALSE(index.holds("p64.C"));
    EXPECT_FALSE(index.certain());

    // A loop of jars naming each other ends where it began: each jar is read once.
    ClassPathIndex loop;
    writeJar(tmp / "a.jar", {{"a/A.class", kClass}}, "Class-Path: b.jar\n");
    writeJar(tmp / "b.jar", {{"b/B.class", kClass}}, "Class-Path: ./a.jar a.jar\n");
    loop.addClassPathEntry(tmp / "a.jar");
    loop.addClassPathEntry(tmp / "b.jar");
    EXPECT_EQ(tmp / "b.jar", loop.whereIs("b.B"));
    EXPECT_TRUE(loop.certain());
}

} // namespace
