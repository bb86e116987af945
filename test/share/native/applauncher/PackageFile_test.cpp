#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "ErrorHandling.h"
#include "Log.h"
#include "LogTestUtils.h"
#include "PackageFile.h"
#include "TestUtils.h"
#include "UnitTestUtils.h"

namespace {

// "func: message" per record.
std::string messages(const RecordingAppender& recorder) {
    std::string out;
    for (const LogEvent& e : recorder.events) {
        out += e.funcName + ": " + e.message + "\n";
    }
    return out;
}

// The name is the first line, "" without a file or a readable line; a trailing slash on the
// directory makes no difference.
TEST(PackageFileTest, FirstLineIsTheName) {
    const std::string read = "loadFromAppDir: Read \"<dir>/.package\" package file\n";
    const struct {
        const char* content; // null: missing; "/": a directory, which opens but cannot be read
        std::string want, wantLog;
    } cases[] = {
        {"demo\n", "demo", read + "loadFromAppDir: Package name is [demo]\n"},
        {"demo", "demo", read + "loadFromAppDir: Package name is [demo]\n"},
        {"demo\r\n", "demo\r", read + "loadFromAppDir: Package name is [demo\r]\n"},
        {" a b \nsecond\nthird\n", " a b ", read + "loadFromAppDir: Package name is [ a b ]\n"},
        {"\nsecond\n", "", read + "loadFromAppDir: Package name is []\n"},
        {nullptr, "", ""},
        {"", "", read},
        {"/", "", read},
    };
    for (const auto& c : cases) {
        TempDir dir;
        if (c.content && std::string(c.content) == "/") {
            makeDirs(dir / ".package");
        } else if (c.content) {
            writeFile(dir / ".package", c.content);
        }
        RecordingAppender recorder;
        DefaultLoggerGuard guard(recorder);
        for (const std::string& appDir : {dir.path(), dir.path() + "/"}) {
            recorder.events.clear();
            EXPECT_EQ(c.want, PackageFile::loadFromAppDir(appDir).packageName()) << appDir;
            std::string want = c.wantLog;
            for (size_t at; (at = want.find("<dir>")) != std::string::npos;) {
                want.replace(at, 5, dir.path());
            }
            EXPECT_EQ(want, messages(recorder)) << (c.content ? c.content : "(missing)");
        }
    }
}

TEST(PackageFileTest, NameKeepsEveryByteOfTheFirstLine) {
    TempDir dir;
    const std::string name("a\0b\xff\x80 \t\\", 8);
    writeFile(dir / ".package", name + "\nsecond\n");
    NopLogAppender quiet;
    DefaultLoggerGuard guard(quiet);
    EXPECT_EQ(name, PackageFile::loadFromAppDir(dir.path()).packageName());

    // A first line far longer than any read buffer.
    const std::string longName(100000, 'p');
    writeFile(dir / ".package", longName);
    EXPECT_EQ(longName, PackageFile::loadFromAppDir(dir.path()).packageName());
}

TEST(PackageFileTest, UnopenableFile) {
    // A socket exists for stat() but cannot be opened, whoever the user is.
    TempDir dir;
    const std::string path = dir / ".package";
    std::string reason;
    const int fd = bindSocketIn(dir.path(), ".package", reason);
    ASSERT_LE(0, fd) << reason;
    // The system's reason differs between platforms (ENXIO here, EOPNOTSUPP on macOS).
    ASSERT_EQ(-1, ::open(path.c_str(), O_RDONLY));
    reason = std::strerror(errno);

    NopLogAppender quiet;
    DefaultLoggerGuard guard(quiet);
    const std::string got = errorOf([&] { PackageFile::loadFromAppDir(dir.path()); },
                                    "PackageFile.cpp", "loadFromAppDir");
    ::close(fd);
    EXPECT_EQ("Error opening \"" + path + "\" file: " + reason, got);
}

} // namespace
