#include <gtest/gtest.h>

#include "FileUtils.h"

TEST(FileUtils, BasenameAndDirname) {
    struct {
        std::string path, dirname, basename;
    } cases[] = {
        {"a/b", "a", "b"},
        {"a/b/", "a/b", ""},
        {"b", "", "b"},
        {"a\\b", "a", "b"},
        {"/usr/lib/x", "/usr/lib", "x"},
        {"a//b", "a", "b"},
        {"a/b/.", "a", "."},
        {"a/.", "", "."},
        {"/a", "", "a"},
        {"/", "", ""},
        {"./", ".", ""},
        {"a/..", "a", ".."},
        {"", "", ""},
        {".", "", "."},
        {"/.", "", "."},
        {"//a", "", "a"},
        {"a/b//", "a/b", ""},
        {"a\\/b", "a", "b"},
        {"/Applications/Demo.app/Contents/MacOS/Demo", "/Applications/Demo.app/Contents/MacOS",
         "Demo"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.dirname, FileUtils::dirname(c.path)) << "dirname '" << c.path << "'";
        EXPECT_EQ(c.basename, FileUtils::basename(c.path)) << "basename '" << c.path << "'";
    }
}

TEST(FileUtils, RemoveTrailingSlash) {
    struct {
        std::string path, result;
    } cases[] = {
        {"a/b//", "a/b"}, {"/", ""},  {"a", "a"},    {"", ""},
        {"a\\/\\", "a"},  {"//", ""}, {"/a/", "/a"}, {"a/./", "a/."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result, FileUtils::removeTrailingSlash(c.path)) << c.path;
    }
}

TEST(FileUtils, CombinePath) {
    struct {
        std::string parent, child, result;
    } cases[] = {
        {"", "x", "x"},
        {"a", "", "a"},
        {"", "", ""},
        {"a/", "b", "a/b"},
        {"a", "/b", "a/b"},
        {"a", "//b", "a//b"},
        {"/", "b", "/b"},
        {"a//", "\\b", "a/b"},
        {"a", "b/", "a/b/"},
        {"a/", "/", "a/"},
        {"/Applications/Demo.app", "Contents/app", "/Applications/Demo.app/Contents/app"},
        {"dir", "..", "dir/.."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result, FileUtils::combinePath(c.parent, c.child))
            << "'" << c.parent << "' + '" << c.child << "'";
    }
}
