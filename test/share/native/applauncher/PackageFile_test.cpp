#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "ErrorHandling.h"
#include "Log.h"
#include "LogTestUtils.h"
#include "PackageFile.h"
#include "TestUtils.h"

namespace {

// "func: message" per record.
std::string messages(const RecordingAppender& recorder) {
    std::string out;
    for (const LogEvent& e : recorder.events) {
        out += e.funcName + ": " + e.message + "\n";
    }
    return out;
}

TEST(PackageFileTest, FirstLineIsTheName) {
    const struct {
        std::string content;
        std::string want;
    } cases[] = {
        {"demo\n", "demo"},     {"demo", "demo"},
        {"demo\r\n", "demo\r"}, {" a b \nsecond\nthird\n", " a b "},
        {"\nsecond\n", ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / ".package", c.content);
        RecordingAppender recorder;
        DefaultLoggerGuard guard(recorder);
        EXPECT_EQ(c.want, PackageFile::loadFromAppDir(dir.path()).packageName()) << c.content;
        EXPECT_EQ("loadFromAppDir: Read \"" + dir.path() + "/.package\" package file\n" +
                      "loadFromAppDir: Package name is [" + c.want + "]\n",
                  messages(recorder))
            << c.content;
    }
}

TEST(PackageFileTest, NoNameWithoutError) {
    const struct {
        std::string kind; // what .package is
        std::string wantLog;
    } cases[] = {
        {"missing", ""},
        {"empty", "loadFromAppDir: Read \"<dir>/.package\" package file\n"},
        // Opens, but nothing can be read from it.
        {"directory", "loadFromAppDir: Read \"<dir>/.package\" package file\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        if (c.kind == "empty") {
            writeFile(dir / ".package", "");
        } else if (c.kind == "directory") {
            makeDirs(dir / ".package");
        }
        RecordingAppender recorder;
        DefaultLoggerGuard guard(recorder);
        // A trailing slash on the directory makes no difference.
        EXPECT_EQ("", PackageFile::loadFromAppDir(dir.path() + "/").packageName()) << c.kind;
        std::string want = c.wantLog;
        const size_t at = want.find("<dir>");
        if (at != std::string::npos) {
            want.replace(at, 5, dir.path());
        }
        EXPECT_EQ(want, messages(recorder)) << c.kind;
    }
}

TEST(PackageFileTest, UnopenableFile) {
    // A socket exists for stat() but cannot be opened, whoever the user is.
    TempDir dir;
    const std::string path = dir / ".package";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(addr.sun_path));
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(0, ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
    // The system's reason differs between platforms (ENXIO here, EOPNOTSUPP on macOS).
    ASSERT_EQ(-1, ::open(path.c_str(), O_RDONLY));
    const std::string reason = std::strerror(errno);

    NopLogAppender quiet;
    DefaultLoggerGuard guard(quiet);
    std::string got = "no error";
    std::string where;
    try {
        PackageFile::loadFromAppDir(dir.path());
    } catch (const VorlaneError<std::runtime_error>& e) {
        got = e.rawMessage();
        where = e.what();
    }
    ::close(fd);
    EXPECT_EQ("Error opening \"" + path + "\" file: " + reason, got);
    EXPECT_EQ(0u, where.find("PackageFile.cpp(")) << where;
    EXPECT_NE(std::string::npos, where.find(") at loadFromAppDir(): ")) << where;
}

} // namespace
