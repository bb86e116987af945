#include "TestUtils.h"

#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

// A test bundle links its runtime's files to an installed runtime: removing the bundle must
// leave those files as they were, whatever the links lead to.
TEST(TempDirTest, RemovalLeavesWhatItsLinksLeadToAsItWas) {
    TempDir outside;
    std::string target = outside.path() + "/libjli.so";
    writeFile(target, "x");
    ASSERT_EQ(0, ::chmod(target.c_str(), 0644));
    ASSERT_EQ(0, ::mkdir((outside.path() + "/lib").c_str(), 0755));

    auto bundle = std::make_unique<TempDir>();
    std::string dir = bundle->path() + "/Contents/runtime/lib";
    makeDirs(dir);
    ASSERT_EQ(0, ::symlink(target.c_str(), (dir + "/libjli.so").c_str()));
    ASSERT_EQ(0, ::symlink((outside.path() + "/lib").c_str(), (dir + "/linked").c_str()));
    std::string root = bundle->path();
    bundle.reset();

    struct stat st {};
    ASSERT_EQ(0, ::stat(target.c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 07777);
    ASSERT_EQ(0, ::stat((outside.path() + "/lib").c_str(), &st));
    EXPECT_EQ(0755u, st.st_mode & 07777);
    EXPECT_NE(0, ::access(root.c_str(), F_OK)) << root;
}
