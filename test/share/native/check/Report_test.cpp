#include <gtest/gtest.h>

#include <string>

#include "Report.h"

namespace {

TEST(ReportTest, JsonStringsKeepEveryByte) {
    const struct {
        std::string text;
        std::string want;
    } cases[] = {
        {"", "\"\""},
        {"a \"b\" \\c/", "\"a \\\"b\\\" \\\\c/\""},
        {"\t\r\n\x01\x7f", "\"\\t\\r\\n\\u0001\\u007f\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        // Valid UTF-8 as it is, up to four bytes.
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        // Each byte of what is no valid UTF-8 as 0xDC00 + the byte.
        {"\xE9t\xE9", "\"\\udce9t\\udce9\""},
        {"\xE2\x82", "\"\\udce2\\udc82\""},
        {"\xC0\xAF", "\"\\udcc0\\udcaf\""},                       // overlong
        {"\xED\xA0\x80", "\"\\udced\\udca0\\udc80\""},            // a surrogate
        {"\xF4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""}, // above U+10FFFF
        {"\xFF", "\"\\udcff\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.want, Report::jsonString(c.text)) << c.text;
    }
}

} // namespace
