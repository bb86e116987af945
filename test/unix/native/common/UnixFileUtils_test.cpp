#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "TestUtils.h"
#include "UnitTestUtils.h"

namespace {

// Changes the working directory and goes back to the original one at destruction, even when
// the original path has become too long to name.
class CwdGuard {
public:
    CwdGuard() : fd(::open(".", O_RDONLY | O_DIRECTORY)) {}
    ~CwdGuard() {
        if (fd >= 0) {
            EXPECT_EQ(0, ::fchdir(fd));
            ::close(fd);
        }
    }
    CwdGuard(const CwdGuard&) = delete;
    CwdGuard& operator=(const CwdGuard&) = delete;

private:
    int fd;
};

// The working directory, however long (PATH_MAX may be shorter than it); "" on failure.
std::string currentDir() {
    for (std::vector<char> buf(256);; buf.resize(buf.size() * 2)) {
        if (::getcwd(buf.data(), buf.size())) {
            return buf.data();
        }
        if (errno != ERANGE) {
            return "";
        }
    }
}

// The bare message of the error that toAbsolutePath throws.
std::string absolutePathError(const std::string& path) {
    return errorOf([&] { FileUtils::toAbsolutePath(path); }, "UnixFileUtils.cpp", "toAbsolutePath");
}

} // namespace

TEST(UnixFileUtils, IsFileExistsFollowsLinks) {
    TempDir tmp;
    writeFile(tmp / "file", "x");
    makeDirs(tmp / "dir/sub");
    ASSERT_EQ(0, ::symlink((tmp / "file").c_str(), (tmp / "link-to-file").c_str()));
    ASSERT_EQ(0, ::symlink((tmp / "dir").c_str(), (tmp / "link-to-dir").c_str()));
    ASSERT_EQ(0, ::symlink((tmp / "missing").c_str(), (tmp / "dangling").c_str()));
    ASSERT_EQ(0, ::mkfifo((tmp / "fifo").c_str(), 0600));
    struct {
        std::string path;
        bool exists;
    } cases[] = {
        {tmp.path(), true},
        {tmp / "file", true},
        {tmp / "dir", true},
        {tmp / "dir/sub/", true},
        {tmp / "link-to-file", true},
        {tmp / "link-to-dir", true},
        {tmp / "fifo", true},
        {tmp / "missing", false},
        {tmp / "dangling", false},
        {tmp / "file/below-a-file", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.exists, FileUtils::isFileExists(c.path)) << c.path;
    }
}

TEST(UnixFileUtils, ToAbsolutePath) {
    TempDir tmp;
    CwdGuard cwd;
    ASSERT_EQ(0, ::chdir(tmp.path().c_str()));
    const std::string here = currentDir();
    ASSERT_FALSE(here.empty());
    struct {
        std::string path, absolute;
    } cases[] = {
        {"", here},
        {"/x/y", "/x/y"},
        {"\\x", "\\x"},
        {"x/../y", here + "/x/../y"},
        {"x", here + "/x"},
        {"./x/", here + "/./x/"},
        {"missing/file", here + "/missing/file"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.absolute, FileUtils::toAbsolutePath(c.path)) << c.path;
    }
    ASSERT_EQ(0, ::chdir("/"));
    EXPECT_EQ("/x", FileUtils::toAbsolutePath("x"));
    EXPECT_EQ("/", FileUtils::toAbsolutePath(""));
}

// Without a name for the working directory (too long, or removed) a relative path fails.
TEST(UnixFileUtils, ToAbsolutePathFailsWithoutAWorkingDirectoryName) {
    TempDir tmp;
    CwdGuard cwd;
    makeDirs(tmp / "gone");
    ASSERT_EQ(0, ::chdir((tmp / "gone").c_str()));
    ASSERT_EQ(0, ::rmdir((tmp / "gone").c_str()));
    EXPECT_EQ(std::string("getcwd() failed. Error: ") + std::strerror(ENOENT),
              absolutePathError("x"));

    ASSERT_EQ(0, ::chdir(tmp.path().c_str()));
    const std::string component(200, 'd');
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(0, ::mkdir(component.c_str(), 0700));
        ASSERT_EQ(0, ::chdir(component.c_str()));
    }
    ASSERT_GT(currentDir().size(), 1023u);
    const std::string expected = std::string("getcwd() failed. Error: ") + std::strerror(ERANGE);
    EXPECT_EQ(expected, absolutePathError(""));
    EXPECT_EQ(expected, absolutePathError("relative"));
    EXPECT_EQ("/absolute", FileUtils::toAbsolutePath("/absolute"));
}
