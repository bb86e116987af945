#include <gtest/gtest.h>

#include <string>

#include "Inflate.h"

namespace {

template <size_t N> std::string bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

// Writes deflate streams bit by bit: fields lowest bit first, Huffman codes highest bit first.
class Bits {
public:
    Bits& put(uint32_t value, int n) {
        for (int i = 0; i < n; ++i) {
            bit((value >> i) & 1);
        }
        return *this;
    }
    Bits& code(uint32_t code, int n) {
        for (int i = n - 1; i >= 0; --i) {
            bit((code >> i) & 1);
        }
        return *this;
    }
    // A literal/length symbol in the fixed code.
    Bits& fixed(int s) {
        return s < 144   ? code(0x30 + s, 8)
               : s < 256 ? code(0x190 + s - 144, 9)
               : s < 280 ? code(s - 256, 7)
                         : code(0xc0 + s - 280, 8);
    }
    // The header of a dynamic block whose code-length code gives these lengths to the symbols
    // in the order of the format (16, 17, 18, 0, 8, ...).
    Bits& dynamicHeader(int nlen, int ndist, const std::vector<int>& codeLengths) {
        put(1, 1).put(2, 2).put(nlen - 257, 5).put(ndist - 1, 5);
        put(static_cast<uint32_t>(codeLengths.size() - 4), 4);
        for (int len : codeLengths) {
            put(len, 3);
        }
        return *this;
    }
    std::string str() const { return out; }

private:
    void bit(uint32_t b) {
        if (count % 8 == 0) {
            out += '\0';
        }
        out.back() = static_cast<char>(out.back() | b << (count % 8));
        ++count;
    }
    std::string out;
    size_t count = 0;
};

bool inflate(const std::string& stream, std::string& out, size_t limit = 1 << 20) {
    return Inflate::inflate(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(),
                            out, limit);
}

// Streams made by zlib (raw deflate, level 9).
const std::string kFixed = bytes("\xf3\x48\xcd\xc9\xc9\xd7\x51\xc8\xc0\xa4\x14\x01");
const std::string kFixedText = "Hello, hello, hello, hello!";
const std::string kDynamic =
    bytes("\xcd\x8c\x49\x12\x40\x30\x14\x05\xaf\xf2\x4e\xa0\xcc\x43\xb9\x86\x0b\x08\xdf\x18\x7e\x24"
          "\x62\x3a\x3d\x5b\x3b\x4b\xcb\xae\xee\xea\xa2\x23\x2c\xb6\xaf\x46\x08\xcd\xfb\x8c\x86\x0f"
          "\x0c\x76\x52\x06\xbc\x91\xc6\xfa\x68\x59\x5e\x27\x6a\x6e\xf3\x17\xc1\x48\x22\x65\x1c\x14"
          "\x3f\x38\x94\xa2\xaa\xa9\x69\xbb\x7e\x18\xe5\x34\xb3\x5a\xb4\x59\xed\xb6\x1f\xe7\xe5\x7a"
          "\x7e\x10\x46\x71\x92\x66\x5f\x9a\x1b");
std::string dynamicText() {
    std::string text;
    for (int i = 0; i < 3; ++i) {
        text += "The quick brown fox jumps over the lazy dog; the lazy dog sleeps. ";
    }
    return text + "abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz0123456789";
}

TEST(InflateTest, DecodesEveryBlockType) {
    const struct {
        std::string stream;
        std::string text;
    } cases[] = {
        {bytes("\x01\x05\x00\xfa\xff"
               "hello"),
         "hello"},
        {bytes("\x01\x00\x00\xff\xff"), ""},
        // A stored block that is not the last, then a fixed one.
        {bytes("\x00\x02\x00\xfd\xff"
               "ab") +
             Bits().put(1, 1).put(1, 2).fixed('c').fixed(256).str(),
         "abc"},
        {kFixed, kFixedText},
        {kDynamic, dynamicText()},
        // A copy that overlaps what it writes: "a", then 3 more from 1 back.
        {Bits().put(1, 1).put(1, 2).fixed('a').fixed(257).code(0, 5).fixed(256).str(), "aaaa"},
        // Bytes after the last block are not looked at.
        {kFixed + "trailing", kFixedText},
    };
    for (const auto& c : cases) {
        std::string out = "old";
        EXPECT_TRUE(inflate(c.stream, out)) << testing::PrintToString(c.stream);
        EXPECT_EQ(c.text, out) << testing::PrintToString(c.stream);
    }
}

TEST(InflateTest, RefusesDamagedStreams) {
    const Bits fixedBlock = Bits().put(1, 1).put(1, 2);
    const struct {
        const char* what;
        std::string stream;
    } cases[] = {
        {"nothing", ""},
        {"block type 3", bytes("\x07")},
        {"stored length and complement disagree", bytes("\x01\x05\x00\x00\x00hello")},
        {"stored block cut short", bytes("\x01\x05\x00\xfa\xff"
                                         "hel")},
        {"no last block", bytes("\x00\x00\x00\xff\xff")},
        {"distance before the start", Bits(fixedBlock).fixed('a').fixed(257).code(1, 5).str()},
        {"length symbol 286", Bits(fixedBlock).fixed('a').fixed(286).str()},
        {"distance symbol 30", Bits(fixedBlock).fixed('a').fixed(257).code(30, 5).str()},
        {"code-length code over-subscribed", Bits().dynamicHeader(257, 1, {1, 1, 1, 0}).str()},
        {"code-length code incomplete", Bits().dynamicHeader(257, 1, {1, 0, 0, 0}).str()},
        // With 16 and 17 one bit each, "0" is 16: repeat the previous length, of which there
        // is none.
        {"repeat at the start", Bits().dynamicHeader(257, 1, {1, 1, 0, 0}).code(0, 1).str()},
        // With 0 and 18 one bit each, "1" is 18: 138 zeros, then 120 more: all 258 lengths
        // zero, so the block has no end-of-block code.
        {"no end of block", Bits()
                                .dynamicHeader(257, 1, {0, 0, 1, 1})
                                .code(1, 1)
                                .put(127, 7)
                                .code(1, 1)
                                .put(109, 7)
                                .str()},
        {"lengths past the end", Bits()
                                     .dynamicHeader(257, 1, {0, 0, 1, 1})
                                     .code(1, 1)
                                     .put(127, 7)
                                     .code(1, 1)
                                     .put(127, 7)
                                     .str()},
        {"more length codes than exist", Bits().put(1, 1).put(2, 2).put(30, 5).str() + "\xff\xff"},
    };
    for (const auto& c : cases) {
        std::string out = "old";
        EXPECT_FALSE(inflate(c.stream, out)) << c.what;
        EXPECT_EQ("", out) << c.what;
    }
    // A stream cut anywhere is incomplete.
    for (const std::string& stream : {kFixed, kDynamic}) {
        for (size_t n = 0; n < stream.size(); ++n) {
            std::string out;
            EXPECT_FALSE(inflate(stream.substr(0, n), out)) << n << " of " << stream.size();
        }
    }
}

TEST(InflateTest, StopsAtTheLimit) {
    const std::string aaaa =
        Bits().put(1, 1).put(1, 2).fixed('a').fixed(257).code(0, 5).fixed(256).str();
    const struct {
        std::string stream;
        size_t limit;
        bool ok;
    } cases[] = {
        {aaaa, 4, true},
        {aaaa, 3, false},
        {aaaa, 0, false},
        {bytes("\x01\x05\x00\xfa\xffhello"), 5, true},
        {bytes("\x01\x05\x00\xfa\xffhello"), 4, false},
        {kDynamic, dynamicText().size(), true},
        {kDynamic, dynamicText().size() - 1, false},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(c.ok, inflate(c.stream, out, c.limit)) << c.limit;
        EXPECT_GE(c.limit, out.size());
    }
}

TEST(InflateTest, Crc32OfZipFiles) {
    const std::string check = "123456789";
    const auto crc = [](const std::string& s, uint32_t start) {
        return Inflate::crc32(reinterpret_cast<const unsigned char*>(s.data()), s.size(), start);
    };
    EXPECT_EQ(0xcbf43926u, crc(check, 0));
    EXPECT_EQ(0u, crc("", 0));
    EXPECT_EQ(crc(check, 0), crc("6789", crc("12345", 0)));
}

} // namespace
