#include <gtest/gtest.h>

#include "RuntimeTrial.h"

namespace {

using namespace std::string_literals;

// The request goes through the pipe whole, whatever bytes but NUL its texts hold; anything else is
// refused.
TEST(RuntimeTrial, RequestIsReadBackOrRefused) {
    RuntimeTrial::Request request{"/lib/libjli.dylib",
                                  {"T", "-Dx=a\nb", std::string(70000, 'y'), ""},
                                  {"HOME=/Users/a", "12:x=\xff"},
                                  {"N"},
                                  {"v:1"},
                                  "/"};
    const std::string bytes = RuntimeTrial::encode(request);
    RuntimeTrial::Request read;
    ASSERT_TRUE(RuntimeTrial::decode(bytes, read));
    EXPECT_EQ(bytes, RuntimeTrial::encode(read));
    EXPECT_EQ(request.args, read.args);
    EXPECT_EQ(request.env, read.env);

    for (const std::string& bad :
         {std::string(), bytes.substr(0, bytes.size() - 1), bytes + "x", "lib\0/\0"s,
          "lib\0/\0999999999\0a\0"s, "lib\0/\0x\0"s, "lib\0/\0000\0000\0001\0N\0000\0"s}) {
        EXPECT_FALSE(RuntimeTrial::decode(bad, read)) << bad;
    }
}

} // namespace
