#include <gtest/gtest.h>

#include <string>

#include "RuntimeOptions.h"

namespace {

// Each argument as the table reads it: whether the next argument is its value, the value it
// holds itself, and what the runtime takes once.
TEST(RuntimeOptionsTest, ArgumentsAreReadByTheTable) {
    const struct {
        std::string arg;
        bool next;
        std::string value;
        std::string setting;
    } cases[] = {
        {"-cp", true, "", ""},
        {"--class-path", true, "", ""},
        {"--class-path=a.jar:b.jar", false, "a.jar:b.jar", ""},
        {"-jar", true, "", ""},
        {"--add-opens=java.base/java.lang=ALL-UNNAMED", false, "java.base/java.lang=ALL-UNNAMED",
         ""},
        {"--enable-preview", false, "", ""},
        {"-Dname=a=b", false, "name=a=b", "-Dname"},
        {"-Djava.library.path=lib", false, "lib", "-Djava.library.path"},
        {"-XX:+UseG1GC", false, "+UseG1GC", "-XX:UseG1GC"},
        {"-XX:SharedArchiveFile=a.jsa", false, "a.jsa", "-XX:SharedArchiveFile"},
        {"-Xmx512m", false, "512m", "-Xmx"},
        {"-Xshare:auto", false, "", ""},
        {"-javaagent:a.jar=x", false, "a.jar=x", ""},
        {"-cpx", false, "", ""},
    };
    for (const auto& c : cases) {
        const RuntimeOptions::Match m = RuntimeOptions::read(c.arg);
        EXPECT_EQ(c.next, m.next) << c.arg;
        EXPECT_EQ(c.value, m.value) << c.arg;
        EXPECT_EQ(c.setting, RuntimeOptions::setting(c.arg)) << c.arg;
    }
}

} // namespace
