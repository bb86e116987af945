#include <gtest/gtest.h>

#include "TrialProcess.h"

namespace {

// The request goes through the pipe whole, whatever bytes its texts hold; anything else is
// refused.
TEST(TrialProcess, RequestIsReadBackOrRefused) {
    TrialProcess::Request request{"/lib/libjli.dylib",
                                  {"T", "-Dx=a\nb", std::string(70000, 'y'), ""},
                                  {"HOME=/Users/a", "12:x=\xff"},
                                  {"N"},
                                  {"v:1"},
                                  "/"};
    const std::string bytes = TrialProcess::encode(request);
    TrialProcess::Request read;
    ASSERT_TRUE(TrialProcess::decode(bytes, read));
    EXPECT_EQ(bytes, TrialProcess::encode(read));
    EXPECT_EQ(request.args, read.args);
    EXPECT_EQ(request.env, read.env);

    for (const std::string& bad :
         {std::string(), bytes.substr(0, bytes.size() - 1), bytes + "x",
          std::string("3:lib1:/999999999:") + "1:a", std::string("3:lib1:/1:x"),
          std::string("3:lib1:/1:01:01:01:11:N1:0"), std::string("99999999999999:")}) {
        EXPECT_FALSE(TrialProcess::decode(bad, read)) << bad;
    }
}

} // namespace
