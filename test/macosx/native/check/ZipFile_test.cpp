#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

#include "ProcessUtils.h"
#include "TestUtils.h"
#include "ZipFile.h"
#include "ZipTestUtils.h"

namespace {

const uint32_t kCentral = 0x02014b50;
const uint32_t kEnd = 0x06054b50;

// Text that compresses, with matches up to the farthest distance deflate allows.
std::string longText() {
    std::string text;
    unsigned seed = 1;
    while (text.size() < 300000) {
        seed = seed * 1103515245 + 12345;
        text += "line " + std::to_string(seed % 5000) + (seed % 7 == 0 ? " again\n" : "\n");
    }
    return text;
}

std::string allBytes() {
    std::string s;
    for (int i = 0; i < 256 * 4; ++i) {
        s += static_cast<char>(i * 37 % 256);
    }
    return s;
}

// Every entry of the JDK's own jars, compressed and not, reads back as the file it came from.
TEST(ZipFileTest, ReadsWhatTheJdkPacks) {
    const std::string javaHome = installedJavaHome();
    if (javaHome.empty()) {
        GTEST_SKIP() << "no JDK (JAVA_HOME or java on PATH)";
    }
    TempDir tmp;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"long.txt", longText()},
        {"empty", ""},
        {"bytes.bin", allBytes()},
        {"a/b/c/deep.txt", "deep\n"},
        {"name with blanks.txt", "blanks\n"},
    };
    for (const auto& f : files) {
        writeFile(tmp / ("files/" + f.first), f.second);
    }
    for (const char* option : {"--create", "--no-compress"}) {
        std::vector<std::string> args = {"--create", "--file",      tmp / "x.jar",
                                         "-C",       tmp / "files", "."};
        if (std::string(option) == "--no-compress") {
            args.insert(args.begin() + 1, option);
        }
        const Outcome packed = run(javaHome + "/bin/jar", args, baseEnv());
        ASSERT_EQ(0, packed.status) << packed.err;
        ZipFile zip;
        ASSERT_TRUE(zip.open(tmp / "x.jar")) << zip.error();
        EXPECT_EQ("", zip.error());
        EXPECT_TRUE(zip.contains("META-INF/MANIFEST.MF")) << option;
        EXPECT_TRUE(zip.contains("a/b/c/")) << option;
        for (const auto& f : files) {
            std::string content;
            EXPECT_TRUE(zip.read(f.first, content, 1 << 20)) << option << " " << f.first;
            EXPECT_TRUE(content == f.second) << option << " " << f.first;
        }
        std::string content;
        EXPECT_FALSE(zip.read("long.txt", content, 299999)) << option;
        EXPECT_FALSE(zip.read("missing", content, 1 << 20)) << option;
        EXPECT_FALSE(zip.contains("a/b/c")) << option;
    }
}

TEST(ZipFileTest, FindsTheCentralDirectory) {
    const std::vector<ZipEntrySpec> entries = {storedEntry("a.txt", "stored\n"),
                                               deflatedEntry("b/c.txt", "deflated\n")};
    std::string endInComment = "comment ";
    endInComment += makeZip({storedEntry("decoy", "x")}).substr(0, 4); // a stray signature
    endInComment += std::string(18, 'x');
    const struct {
        const char* what;
        ZipLayout layout;
    } cases[] = {
        {"plain", {}},
        {"a script before the zip", {"#!/bin/sh\nexec java -jar \"$0\"\n", "", false}},
        {"a comment", {"", "made by hand", false}},
        {"an end signature in the comment", {"", endInComment, false}},
        {"the longest comment", {"", std::string(0xffff, 'c'), false}},
        {"zip64", {"", "", true}},
        {"zip64 after a script", {"#!/bin/sh\n", "zip64", true}},
    };
    for (const auto& c : cases) {
        ZipFile zip;
        ASSERT_TRUE(zip.openBytes(makeZip(entries, c.layout))) << c.what << ": " << zip.error();
        EXPECT_EQ(std::vector<std::string>({"a.txt", "b/c.txt"}), zip.names()) << c.what;
        std::string content;
        EXPECT_TRUE(zip.read("a.txt", content, 100)) << c.what;
        EXPECT_EQ("stored\n", content) << c.what;
        EXPECT_TRUE(zip.read("b/c.txt", content, 100)) << c.what;
        EXPECT_EQ("deflated\n", content) << c.what;
    }
    ZipFile empty;
    EXPECT_TRUE(empty.openBytes(makeZip({}))) << empty.error();
    EXPECT_TRUE(empty.names().empty());
}

TEST(ZipFileTest, RefusesWhatTheRuntimeCannotOpen) {
    const std::string good = makeZip({storedEntry("a", "a"), deflatedEntry("b", "b")});
    ZipEntrySpec bzip2 = storedEntry("other.txt", "x");
    bzip2.method = 12;
    ZipEntrySpec encrypted = storedEntry("secret", "x");
    encrypted.flags = 1;
    std::string badCentralOffset = good;
    putLittleEndian(badCentralOffset, signatureAt(good, kEnd) + 16, good.size(), 4);
    std::string badCentralSize = good;
    putLittleEndian(badCentralSize, signatureAt(good, kEnd) + 12, good.size(), 4);
    std::string badEntry = good;
    badEntry[signatureAt(good, kCentral, signatureAt(good, kCentral) + 1)] = 'X';
    std::string longName = good;
    putLittleEndian(longName, signatureAt(good, kCentral) + 28, 0xfff0, 2);
    const struct {
        std::string zip;
        std::string error;
    } cases[] = {
        {makeZip({storedEntry("a", "a"), bzip2}), "entry \"other.txt\" has compression method 12"},
        {makeZip({encrypted}), "entry \"secret\" is encrypted"},
        {"PK\x03\x04 and no more", "not a zip file: too short"},
        {std::string(100, 'x'), "not a zip file: no end of central directory"},
        {good.substr(0, good.size() - 1), "not a zip file: no end of central directory"},
        {badCentralOffset, "bad central directory offset"},
        {badCentralSize, "bad central directory size"},
        {badEntry, "bad central directory entry 2"},
        {longName, "bad central directory entry 1"},
    };
    for (const auto& c : cases) {
        ZipFile zip;
        EXPECT_FALSE(zip.openBytes(c.zip)) << c.error;
        EXPECT_EQ(c.error, zip.error());
        EXPECT_TRUE(zip.names().empty()) << c.error;
    }
    TempDir tmp;
    makeDirs(tmp / "dir");
    ::mkfifo((tmp / "fifo").c_str(), 0600);
    const struct {
        std::string path;
        std::string error;
    } files[] = {{tmp / "missing", "No such file or directory"},
                 {tmp / "dir", "a directory"},
                 {tmp / "fifo", "not a regular file"}};
    for (const auto& f : files) {
        ZipFile zip;
        EXPECT_FALSE(zip.open(f.path)) << f.path;
        EXPECT_EQ(f.error, zip.error());
    }
    writeFile(tmp / "ok.jar", good);
    ZipFile zip;
    EXPECT_TRUE(zip.open(tmp / "ok.jar")) << zip.error();
}

TEST(ZipFileTest, DamagedEntriesAreNotRead) {
    const std::string content = "the content of the entry\n";
    // A size field that claims almost 4 GiB: refused before anything is allocated.
    ZipEntrySpec bomb = deflatedEntry("e", content);
    bomb.size = 0xfffffffe;
    ZipEntrySpec shorter = deflatedEntry("e", content);
    shorter.size = content.size() - 1;
    ZipEntrySpec longer = deflatedEntry("e", content);
    longer.size = content.size() + 1;
    ZipEntrySpec badStream = deflatedEntry("e", content);
    badStream.data[0] = '\x07';
    std::string farLocal = makeZip({deflatedEntry("e", content)});
    putLittleEndian(farLocal, signatureAt(farLocal, kCentral) + 42, 0x7fffffff, 4);
    std::string longLocalName = makeZip({deflatedEntry("e", content)});
    putLittleEndian(longLocalName, 26, 0xffff, 2);
    const struct {
        const char* what;
        std::string zip;
    } cases[] = {
        {"size field beyond the limit", makeZip({bomb})},
        {"more content than its size", makeZip({shorter})},
        {"less content than its size", makeZip({longer})},
        {"bad deflate stream", makeZip({badStream})},
        {"local header past the end", farLocal},
        {"local name past the end", longLocalName},
    };
    for (const auto& c : cases) {
        ZipFile zip;
        ASSERT_TRUE(zip.openBytes(c.zip)) << c.what << ": " << zip.error();
        std::string out = "old";
        EXPECT_FALSE(zip.read("e", out, 1 << 20)) << c.what;
        EXPECT_EQ("", out) << c.what;
    }
}

// Cut short or with any one byte changed, a zip file is refused, or what it still gives is
// exactly what was put in.
TEST(ZipFileTest, DamageNeverGivesWrongContent) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"first", std::string(300, 'f')}, {"second", "2nd"}, {"third", longText().substr(0, 999)}};
    const std::vector<ZipEntrySpec> entries = {deflatedEntry(files[0].first, files[0].second),
                                               storedEntry(files[1].first, files[1].second),
                                               deflatedEntry(files[2].first, files[2].second)};
    const auto expectNoWrongContent = [&files](const std::string& zipBytes,
                                               const std::string& what) {
        ZipFile zip;
        if (!zip.openBytes(zipBytes)) {
            return false;
        }
        for (const auto& f : files) {
            std::string out;
            if (zip.read(f.first, out, 1 << 20)) {
                EXPECT_TRUE(out == f.second) << f.first << ", " << what;
            }
        }
        return true;
    };
    for (const bool zip64 : {false, true}) {
        const std::string whole = makeZip(entries, {"", "", zip64});
        for (size_t n = 0; n < whole.size(); ++n) {
            EXPECT_FALSE(expectNoWrongContent(whole.substr(0, n), "cut")) << n;
            std::string changed = whole;
            changed[n] = static_cast<char>(changed[n] ^ 0x41);
            expectNoWrongContent(changed, "byte " + std::to_string(n) + " changed");
        }
    }
    // A comment cut short makes no difference to the runtime either: the directory and the
    // first entry it names are where the end record says.
    const std::string commented = makeZip(entries, {"", "a long comment", false});
    ZipFile zip;
    EXPECT_TRUE(zip.openBytes(commented.substr(0, commented.size() - 5))) << zip.error();
}

TEST(ZipFileTest, OfTwoEntriesWithOneNameTheLastCounts) {
    ZipFile zip;
    ASSERT_TRUE(zip.openBytes(
        makeZip({storedEntry("a", "first"), storedEntry("b", "b"), deflatedEntry("a", "second")})));
    EXPECT_EQ(std::vector<std::string>({"a", "b", "a"}), zip.names());
    std::string out;
    EXPECT_TRUE(zip.read("a", out, 100));
    EXPECT_EQ("second", out);
}

} // namespace
