#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <list>

#include "tstrings.h"

using tstrings::CASE_SENSITIVE;
using tstrings::IGNORE_CASE;

namespace {

std::string show(const std::vector<std::string>& v) {
    std::string result = "[";
    for (size_t i = 0; i < v.size(); ++i) {
        result += (i ? ",'" : "'") + v[i] + "'";
    }
    return result + "]";
}

} // namespace

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

TEST(TStrings, SplitAll) {
    struct {
        std::string str, delimiter;
        std::vector<std::string> pieces;
    } cases[] = {
        {"a::b", ":", {"a", "", "b"}},
        {":a", ":", {"", "a"}},
        {"a:", ":", {"a", ""}},
        {":", ":", {"", ""}},
        {"", ":", {}},
        {"a:b", "", {}},
        {"a", ":", {"a"}},
        {"xaby", "ab", {"x", "y"}},
        {"a", "abc", {"a"}},
        {"aaa", "aa", {"", "a"}},
        {"/usr/lib:/opt/lib", ":", {"/usr/lib", "/opt/lib"}},
        {"a b\tc", " ", {"a", "b\tc"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        tstrings::split(got, c.str, c.delimiter, tstrings::SPLIT_ALL);
        EXPECT_EQ(show(c.pieces), show(got)) << "'" << c.str << "' at '" << c.delimiter << "'";
    }
}

TEST(TStrings, SplitAppendsAfterExistingElements) {
    std::vector<std::string> got = {"kept"};
    tstrings::split(got, "a:b", ":", tstrings::SPLIT_ALL);
    EXPECT_EQ(show({"kept", "a", "b"}), show(got));
    tstrings::split(got, "", ":", tstrings::SPLIT_ALL);
    EXPECT_EQ(show({"kept", "a", "b"}), show(got));
}

TEST(TStrings, SplitFilteredDropsEmptyAndOneByteInnerPieces) {
    struct {
        std::string str;
        std::vector<std::string> pieces;
    } cases[] = {
        {"ab::cd:", {"ab", "cd"}},
        {"ab:c:de", {"ab", "de"}},
        {"ab:c", {"ab", "c"}},
        {":::", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        tstrings::split(got, c.str, ":", tstrings::SPLIT_FILTERED);
        EXPECT_EQ(show(c.pieces), show(got)) << c.str;
    }
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
            << show(c.items);
    }
    const std::list<std::string> list = {"p", "q"};
    EXPECT_EQ("p/q", tstrings::join(list.begin(), list.end(), "/"));
}

TEST(TStrings, AnyConcatenatesInsertionsWithoutSeparators) {
    EXPECT_EQ("abc42xyz", (tstrings::any("abc") << 42 << std::string("xyz")).str());
    EXPECT_EQ("start", tstrings::any(std::string("start")).str());
    EXPECT_EQ("", tstrings::any().str());
    EXPECT_EQ("-7:18446744073709551615:c",
              (tstrings::any() << -7 << ":" << ULLONG_MAX << ":" << 'c').str());
    EXPECT_EQ("4294967295", (tstrings::any() << size_t(4294967295u)).str());
    const char* nullText = nullptr;
    EXPECT_EQ("ab", (tstrings::any("a") << nullText << "b").str());
    const std::string withNul("x\0y", 3);
    EXPECT_EQ(withNul, (tstrings::any() << withNul).str());
}

TEST(TStrings, AnyFormatsValuesAsAStreamDoesByDefault) {
    struct {
        std::string got, want;
    } cases[] = {
        {(tstrings::any() << static_cast<short>(-12)).str(), "-12"},
        {(tstrings::any() << 0u).str(), "0"},
        {(tstrings::any() << LLONG_MIN).str(), "-9223372036854775808"},
        {(tstrings::any() << true << false).str(), "10"},
        {(tstrings::any() << reinterpret_cast<void*>(uintptr_t(0xdeadbeef))).str(), "0xdeadbeef"},
        {(tstrings::any() << reinterpret_cast<const int*>(uintptr_t(0x10))).str(), "0x10"},
        {(tstrings::any() << static_cast<void*>(nullptr)).str(), "0x0"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        EXPECT_EQ(cases[i].want, cases[i].got) << "case " << i;
    }
}
