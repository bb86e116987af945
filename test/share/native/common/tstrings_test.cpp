#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <list>

#include "tstrings.h"

using tstrings::CASE_SENSITIVE;
using tstrings::IGNORE_CASE;

TEST(TStrings, Equals) {
    struct {
        std::string a, b;
        bool sensitive, ignoring;
    } cases[] = {
        {"ABC", "abc", false, true},
        {"", "", true, true},
        {"abc", "abc", true, true},
        {"abc", "abcd", false, false},
        {"abc", "ab", false, false},
        {"a\xC3\x84", "A\xC3\x84", false, true},
        // Non-ASCII bytes never fold: A-umlaut and a-umlaut stay different.
        {"\xC3\x84", "\xC3\xA4", false, false},
        {std::string("a\0b", 3), std::string("a\0c", 3), false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.sensitive, tstrings::equals(c.a, c.b, CASE_SENSITIVE)) << c.a << " " << c.b;
        EXPECT_EQ(c.ignoring, tstrings::equals(c.a, c.b, IGNORE_CASE)) << c.a << " " << c.b;
    }
}

TEST(TStrings, ToLowerChangesOnlyAsciiLetters) {
    EXPECT_EQ("a-z 09", tstrings::toLower("A-Z 09"));
    EXPECT_EQ("hello, world!", tstrings::toLower("HeLLo, World!"));
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c) {
        high += static_cast<char>(c);
    }
    EXPECT_EQ(high, tstrings::toLower(high));
    EXPECT_EQ("", tstrings::toLower(""));
}

TEST(TStrings, StartsWithEndsWith) {
    struct {
        std::string str, affix;
        bool starts, ends, startsIgnoringCase, endsIgnoringCase;
    } cases[] = {
        {"abc", "abc", true, true, true, true},
        {"abc", "", true, true, true, true},
        {"", "", true, true, true, true},
        {"abc", "abcd", false, false, false, false},
        {"abc", "xabc", false, false, false, false},
        {"abc", "ab", true, false, true, false},
        {"abc", "bc", false, true, false, true},
        {"ABC", "ab", false, false, true, false},
        {"ABC", "bc", false, false, false, true},
        {"", "a", false, false, false, false},
        {"a/.", "/.", false, true, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.starts, tstrings::startsWith(c.str, c.affix, CASE_SENSITIVE))
            << c.str << " " << c.affix;
        EXPECT_EQ(c.ends, tstrings::endsWith(c.str, c.affix, CASE_SENSITIVE))
            << c.str << " " << c.affix;
        EXPECT_EQ(c.startsIgnoringCase, tstrings::startsWith(c.str, c.affix, IGNORE_CASE))
            << c.str << " " << c.affix;
        EXPECT_EQ(c.endsIgnoringCase, tstrings::endsWith(c.str, c.affix, IGNORE_CASE))
            << c.str << " " << c.affix;
    }
}

TEST(TStrings, Split) {
    const tstrings::SplitType all = tstrings::SPLIT_ALL;
    const tstrings::SplitType filtered = tstrings::SPLIT_FILTERED;
    struct {
        std::string str, delimiter;
        tstrings::SplitType type;
        std::vector<std::string> pieces;
    } cases[] = {
        {"a::b", ":", all, {"a", "", "b"}},
        {":a", ":", all, {"", "a"}},
        {"a:", ":", all, {"a", ""}},
        {":", ":", all, {"", ""}},
        {"", ":", all, {}},
        {"a:b", "", all, {}},
        {"a", ":", all, {"a"}},
        {"xaby", "ab", all, {"x", "y"}},
        {"a", "abc", all, {"a"}},
        {"aaa", "aa", all, {"", "a"}},
        {"a b\tc", " ", all, {"a", "b\tc"}},
        // Filtered: empty and one-byte inner pieces go, a one-byte last piece stays.
        {"ab::cd:", ":", filtered, {"ab", "cd"}},
        {"ab:c:de", ":", filtered, {"ab", "de"}},
        {"ab:c", ":", filtered, {"ab", "c"}},
        {":::", ":", filtered, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        tstrings::split(got, c.str, c.delimiter, c.type);
        EXPECT_EQ(c.pieces, got) << "'" << c.str << "' at '" << c.delimiter << "' " << c.type;
    }
    // Pieces are appended after what is there.
    std::vector<std::string> got = {"kept"};
    tstrings::split(got, "a:b", ":");
    tstrings::split(got, "", ":");
    EXPECT_EQ((std::vector<std::string>{"kept", "a", "b"}), got);
}

TEST(TStrings, Join) {
    struct {
        std::vector<std::string> items;
        std::string delimiter, joined;
    } cases[] = {
        {{}, ":", ""},        {{"a"}, ":", "a"},      {{"a", "b", "c"}, ":", "a:b:c"},
        {{"", ""}, ":", ":"}, {{"a", "b"}, "", "ab"}, {{"x", "y"}, ", ", "x, y"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.joined, tstrings::join(c.items.cbegin(), c.items.cend(), c.delimiter))
            << c.items.size() << " items";
    }
    const std::list<std::string> list = {"p", "q"};
    EXPECT_EQ("p/q", tstrings::join(list.begin(), list.end(), "/"));
}

// Insertions are concatenated without separators, formatted as a stream does by default.
TEST(TStrings, Any) {
    const char* nullText = nullptr;
    const std::string withNul("x\0y", 3);
    struct {
        std::string got, want;
    } cases[] = {
        {(tstrings::any("abc") << 42 << std::string("xyz")).str(), "abc42xyz"},
        {tstrings::any(std::string("start")).str(), "start"},
        {tstrings::any().str(), ""},
        {(tstrings::any() << -7 << ":" << ULLONG_MAX << ":" << 'c').str(),
         "-7:18446744073709551615:c"},
        {(tstrings::any() << size_t(4294967295u)).str(), "4294967295"},
        {(tstrings::any("a") << nullText << "b").str(), "ab"},
        {(tstrings::any() << withNul).str(), withNul},
        {(tstrings::any() << static_cast<short>(-12)).str(), "-12"},
        {(tstrings::any() << 0u).str(), "0"},
        {(tstrings::any() << LLONG_MIN).str(), "-9223372036854775808"},
        {(tstrings::any() << true << false).str(), "10"},
        {(tstrings::any() << reinterpret_cast<void*>(uintptr_t(0xdeadbeef))).str(), "0xdeadbeef"},
        {(tstrings::any() << reinterpret_cast<const int*>(uintptr_t(0x10))).str(), "0x10"},
        {(tstrings::any() << static_cast<void*>(nullptr)).str(), "0x0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.want, c.got);
    }
}
