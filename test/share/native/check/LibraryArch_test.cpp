#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LibraryArch.h"
#include "TestUtils.h"

namespace {

template <size_t N> std::string bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

TEST(LibraryArchTest, HeadersNameTheirArchitectures) {
    const struct {
        std::string header;
        std::string format;
        std::vector<std::string> archs;
    } cases[] = {
        {bytes("\x7f"
               "ELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03\x00\x3e\x00"),
         "ELF",
         {"x86_64"}},
        {bytes("\x7f"
               "ELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03\x00\xb7\x00"),
         "ELF",
         {"arm64"}},
        {bytes("\x7f"
               "ELF\x02\x02\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03\x00\x15"),
         "ELF",
         {"e_machine 21"}},
        {bytes("\xcf\xfa\xed\xfe\x07\x00\x00\x01\x03\x00\x00\x00"), "Mach-O", {"x86_64"}},
        {bytes("\xcf\xfa\xed\xfe\x0c\x00\x00\x01\x00\x00\x00\x00"), "Mach-O", {"arm64"}},
        {bytes("\xce\xfa\xed\xfe\x07\x00\x00\x00\x03\x00\x00\x00"), "Mach-O", {"i386"}},
        {bytes("\xfe\xed\xfa\xce\x00\x00\x00\x12\x00\x00\x00\x00"), "Mach-O", {"ppc"}},
        {bytes("\xca\xfe\xba\xbe\x00\x00\x00\x02"
               "\x01\x00\x00\x07\x00\x00\x00\x03\x00\x00\x10\x00\x00\x00\x10\x00\x00\x00\x00\x0c"
               "\x01\x00\x00\x0c\x00\x00\x00\x00\x00\x00\x20\x00\x00\x00\x10\x00\x00\x00\x00\x0e"),
         "universal",
         {"x86_64", "arm64"}},
        {bytes("\xca\xfe\xba\xbf\x00\x00\x00\x01"
               "\x01\x00\x00\x0c\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x10\x00"
               "\x00\x00\x00\x00\x00\x00\x10\x00\x00\x00\x00\x0e\x00\x00\x00\x00"),
         "universal",
         {"arm64"}},
        // A Java class file shares the universal magic; its version stands where the count is.
        {bytes("\xca\xfe\xba\xbe\x00\x00\x00\x3d\x00\x10\x0a\x00"), "", {}},
        // A universal header cut short of the entries it announces.
        {bytes("\xca\xfe\xba\xbe\x00\x00\x00\x02\x01\x00\x00\x07"), "", {}},
        {bytes("\x7f"
               "ELF\x02\x01\x01"),
         "",
         {}},
        {"#!/bin/sh\necho not a library\n", "", {}},
        {"", "", {}},
    };
    TempDir tmp;
    for (const auto& c : cases) {
        writeFile(tmp / "lib", c.header);
        const LibraryArch arch = LibraryArch::ofFile(tmp / "lib");
        EXPECT_EQ(c.format, arch.format) << testing::PrintToString(c.header);
        EXPECT_EQ(c.archs, arch.archs) << testing::PrintToString(c.header);
    }
    EXPECT_EQ("", LibraryArch::ofFile(tmp / "missing").format);
}

// The largest universal header there is fills the bytes ofHeader reads; one byte less is not
// enough.
TEST(LibraryArchTest, LargestUniversalHeader) {
    std::string header = bytes("\xca\xfe\xba\xbf\x00\x00\x00\x20");
    for (int i = 0; i < 32; ++i) {
        header += bytes("\x01\x00\x00\x0c") + std::string(28, '\0');
    }
    ASSERT_EQ(LibraryArch::kHeaderSize, header.size());
    const LibraryArch all = LibraryArch::ofHeader(header);
    EXPECT_EQ("universal", all.format);
    EXPECT_EQ(std::vector<std::string>(32, "arm64"), all.archs);
    EXPECT_EQ("", LibraryArch::ofHeader(header.substr(0, header.size() - 1)).format);
    header[7] = '\x21';
    EXPECT_EQ("", LibraryArch::ofHeader(header).format);
}

TEST(LibraryArchTest, TheTestLibraryIsForThisProgram) {
    const LibraryArch arch = LibraryArch::ofFile(FAKEJLI_PATH);
    EXPECT_NE("", arch.format);
    EXPECT_FALSE(arch.lacks(LibraryArch::ownArch()));
    LibraryArch other;
    other.archs = {"arm64", "i386"};
    EXPECT_TRUE(other.lacks("x86_64"));
    EXPECT_FALSE(other.lacks("i386"));
    EXPECT_FALSE(LibraryArch().lacks("x86_64"));
}

} // namespace
