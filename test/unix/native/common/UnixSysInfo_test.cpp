#include <gtest/gtest.h>

#include "ErrorHandling.h"
#include "SysInfo.h"
#include "TestUtils.h"
#include "UnitTestUtils.h"

namespace {
const char* const NAME = "VORLANE_TEST_VARIABLE";
}

TEST(UnixSysInfo, SetVariablesComeBackByteForByte) {
    const std::string values[] = {
        "", "plain", " blanks around ", "two\nlines", "\xC3\xA4\xE2\x82\xAC\xFF", "a=b", "$HOME",
    };
    for (const std::string& value : values) {
        EnvGuard env(NAME, value);
        EXPECT_TRUE(SysInfo::isEnvVariableSet(NAME)) << value;
        EXPECT_EQ(value, SysInfo::getEnvVariable(NAME)) << value;
        EXPECT_EQ(value, SysInfo::getEnvVariable(std::nothrow, NAME, "default")) << value;
    }
}

TEST(UnixSysInfo, UnsetVariable) {
    EnvGuard env(NAME);
    EXPECT_FALSE(SysInfo::isEnvVariableSet(NAME));
    EXPECT_EQ("default", SysInfo::getEnvVariable(std::nothrow, NAME, "default"));
    EXPECT_EQ("", SysInfo::getEnvVariable(std::nothrow, NAME, ""));
    EXPECT_EQ("getenv(VORLANE_TEST_VARIABLE) failed. Variable not set",
              errorOf([] { SysInfo::getEnvVariable(NAME); }, "UnixSysInfo.cpp", "getEnvVariable"));
}
