#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "ErrorHandling.h"
#include "Log.h"
#include "PackageFile.h"
#include "TestUtils.h"

namespace {

// Records the messages of the default logger while it lives.
class RecordingAppender : public LogAppender {
public:
    RecordingAppender() : previous(&Logger::defaultLogger().getAppender()) {
        Logger::defaultLogger().setAppender(*this);
    }
    ~RecordingAppender() override { Logger::defaultLogger().setAppender(*previous); }
    void append(const LogEvent& v) override { messages += v.funcName + ": " + v.message + "\n"; }

    std::string messages;

private:
    LogAppender* previous;
};

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
        EXPECT_EQ(c.want, PackageFile::loadFromAppDir(dir.path()).packageName()) << c.content;
        EXPECT_EQ("loadFromAppDir: Read \"" + dir.path() + "/.package\" package file\n" +
                      "loadFromAppDir: Package name is [" + c.want + "]\n",
                  recorder.messages)
            << c.content;
    }
}

TEST(PackageFileTest, EmptyOrMissingFile) {
    TempDir dir;
    {
        RecordingAppender recorder;
        EXPECT_EQ("", PackageFile::loadFromAppDir(dir.path()).packageName());
        EXPECT_EQ("", recorder.messages);
    }
    writeFile(dir / ".package", "");
    RecordingAppender recorder;
    EXPECT_EQ("", PackageFile::loadFromAppDir(dir.path() + "/").packageName());
    EXPECT_EQ("loadFromAppDir: Read \"" + dir.path() + "/.package\" package file\n",
              recorder.messages);
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

    RecordingAppender recorder;
    std::string got = "no error";
    std::string where;
    try {
        PackageFile::loadFromAppDir(dir.path());
    } catch (const VorlaneError<std::runtime_error>& e) {
        got = e.rawMessage();
        where = e.what();
    }
    ::close(fd);
    EXPECT_EQ("Error opening \"" + path + "\" file: No such device or address", got);
    EXPECT_EQ(0u, where.find("PackageFile.cpp(")) << where;
    EXPECT_NE(std::string::npos, where.find(") at loadFromAppDir(): ")) << where;
}

} // namespace
