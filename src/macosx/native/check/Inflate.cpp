#include "Inflate.h"

#include <new>

namespace {

constexpr int kMaxBits = 15;         // longest code
constexpr int kMaxLengthCodes = 286; // literal/length codes a dynamic block may define
constexpr int kMaxDistanceCodes = 30;
constexpr int kFixedLengthCodes = 288;

// A canonical Huffman code: how many codes each length has, and the symbols in code order.
struct Huffman {
    uint16_t count[kMaxBits + 1];
    uint16_t symbol[kFixedLengthCodes];
};

// Builds h from the code length of each of n symbols; returns the number of codes left unused
// (0: complete), or a negative number when the lengths ask for more codes than exist.
int build(Huffman& h, const uint8_t* lengths, int n) {
    for (uint16_t& c : h.count) {
        c = 0;
    }
    for (int s = 0; s < n; ++s) {
        ++h.count[lengths[s]];
    }
    if (h.count[0] == n) {
        return 0; // no codes: nothing can be decoded with it
    }
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
        left = (left << 1) - h.count[len];
        if (left < 0) {
            return left;
        }
    }
    uint16_t offset[kMaxBits + 1] = {};
    for (int len = 1; len < kMaxBits; ++len) {
        offset[len + 1] = static_cast<uint16_t>(offset[len] + h.count[len]);
    }
    for (int s = 0; s < n; ++s) {
        if (lengths[s] != 0) {
            h.symbol[offset[lengths[s]]++] = static_cast<uint16_t>(s);
        }
    }
    return left;
}

// An incomplete code is only allowed when it is a single code of one bit, as zlib allows.
bool usable(int left, const Huffman& h, int n) {
    return left == 0 || (left > 0 && h.count[0] + h.count[1] == n);
}

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class Decoder {
public:
    Decoder(const unsigned char* data, size_t size, std::string& out, size_t limit)
        : data(data), size(size), out(out), limit(limit) {}

    bool run() {
        for (bool last = false; !last;) {
            last = bits(1) == 1;
            const uint32_t type = bits(2);
            if (failed) {
                return false;
            }
            const bool ok = type == 0 ? stored() : type == 1 ? fixed() : type == 2 && dynamic();
            if (!ok || failed) {
                return false;
            }
        }
        return true;
    }

private:
    // The next n bits (n <= 16), the first one lowest; sets failed at the end of the input.
    uint32_t bits(int n) {
        uint32_t value = bitBuffer;
        while (bitCount < n) {
            if (pos == size) {
                failed = true;
                return 0;
            }
            value |= uint32_t(data[pos++]) << bitCount;
            bitCount += 8;
        }
        bitBuffer = value >> n;
        bitCount -= n;
        return value & ((1u << n) - 1);
    }

    // The next symbol in code h, or -1 when the bits are no code of it or the input ends.
    int decode(const Huffman& h) {
        int code = 0;  // the bits read so far
        int first = 0; // the first code of the current length
        int index = 0; // the index of that code's symbol
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= static_cast<int>(bits(1));
            if (failed) {
                return -1;
            }
            const int count = h.count[len];
            if (code - count < first) {
                return h.symbol[index + (code - first)];
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

    bool stored() {
        // The block starts at the next byte; its length follows, then the length's complement.
        bitBuffer = 0;
        bitCount = 0;
        if (size - pos < 4) {
            return false;
        }
        const size_t len = data[pos] | size_t(data[pos + 1]) << 8;
        const size_t complement = data[pos + 2] | size_t(data[pos + 3]) << 8;
        pos += 4;
        if (len != (~complement & 0xffff) || size - pos < len || len > limit - out.size()) {
            return false;
        }
        out.append(reinterpret_cast<const char*>(data + pos), len);
        pos += len;
        return true;
    }

    bool codes(const Huffman& lengthCode, const Huffman& distanceCode) {
        for (;;) {
            int symbol = decode(lengthCode);
            if (symbol < 0) {
                return false;
            }
            if (symbol < 256) {
                if (out.size() == limit) {
                    return false;
                }
                out.push_back(static_cast<char>(symbol));
                continue;
            }
            if (symbol == 256) {
                return true;
            }
            symbol -= 257;
            if (symbol >= 29) {
                return false;
            }
            const size_t len = kLengthBase[symbol] + bits(kLengthExtra[symbol]);
            const int d = decode(distanceCode);
            if (d < 0 || d >= kMaxDistanceCodes) {
                return false;
            }
            const size_t distance = kDistanceBase[d] + bits(kDistanceExtra[d]);
            if (failed || distance > out.size() || len > limit - out.size()) {
                return false;
            }
            // The copy may overlap what it writes: byte by byte.
            const size_t from = out.size() - distance;
            for (size_t i = 0; i != len; ++i) {
                out.push_back(out[from + i]);
            }
        }
    }

    bool fixed() {
        uint8_t lengths[kFixedLengthCodes];
        for (int s = 0; s < kFixedLengthCodes; ++s) {
            lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        }
        Huffman lengthCode;
        build(lengthCode, lengths, kFixedLengthCodes);
        for (int s = 0; s < kMaxDistanceCodes; ++s) {
            lengths[s] = 5;
        }
        Huffman distanceCode;
        build(distanceCode, lengths, kMaxDistanceCodes);
        return codes(lengthCode, distanceCode);
    }

    bool dynamic() {
        const int nlen = static_cast<int>(bits(5)) + 257;
        const int ndist = static_cast<int>(bits(5)) + 1;
        const int ncode = static_cast<int>(bits(4)) + 4;
        if (failed || nlen > kMaxLengthCodes || ndist > kMaxDistanceCodes) {
            return false;
        }
        // The code that codes the code lengths comes first, its own lengths in this order.
        static const uint8_t order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};
        uint8_t lengths[kMaxLengthCodes + kMaxDistanceCodes] = {};
        for (int i = 0; i < ncode; ++i) {
            lengths[order[i]] = static_cast<uint8_t>(bits(3));
        }
        Huffman lengthCode;
        if (failed || build(lengthCode, lengths, 19) != 0) {
            return false;
        }
        for (int index = 0; index < nlen + ndist;) {
            const int symbol = decode(lengthCode);
            if (symbol < 0) {
                return false;
            }
            if (symbol < 16) {
                lengths[index++] = static_cast<uint8_t>(symbol);
                continue;
            }
            uint8_t len = 0;
            int repeat;
            if (symbol == 16) {
                if (index == 0) {
                    return false; // nothing to repeat
                }
                len = lengths[index - 1];
                repeat = 3 + static_cast<int>(bits(2));
            } else if (symbol == 17) {
                repeat = 3 + static_cast<int>(bits(3));
            } else {
                repeat = 11 + static_cast<int>(bits(7));
            }
            if (failed || index + repeat > nlen + ndist) {
                return false;
            }
            while (repeat-- > 0) {
                lengths[index++] = len;
            }
        }
        if (lengths[256] == 0) {
            return false; // a block that cannot end
        }
        Huffman distanceCode;
        return usable(build(lengthCode, lengths, nlen), lengthCode, nlen) &&
               usable(build(distanceCode, lengths + nlen, ndist), distanceCode, ndist) &&
               codes(lengthCode, distanceCode);
    }

    const unsigned char* const data;
    const size_t size;
    size_t pos = 0;
    uint32_t bitBuffer = 0;
    int bitCount = 0;
    bool failed = false;
    std::string& out;
    const size_t limit;
};

struct CrcTable {
    uint32_t entry[256];
};

constexpr CrcTable makeCrcTable() {
    CrcTable table = {};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
        }
        table.entry[n] = c;
    }
    return table;
}

constexpr CrcTable kCrcTable = makeCrcTable();

} // namespace

namespace Inflate {

bool inflate(const unsigned char* data, size_t size, std::string& out, size_t limit) {
    out.clear();
    try {
        if (Decoder(data, size, out, limit).run()) {
            return true;
        }
    } catch (const std::bad_alloc&) {
    }
    out.clear();
    return false;
}

uint32_t crc32(const unsigned char* data, size_t size, uint32_t crc) {
    crc = ~crc;
    for (size_t i = 0; i != size; ++i) {
        crc = kCrcTable.entry[(crc ^ data[i]) & 0xff] ^ (crc >> 8);
    }
    return ~crc;
}

} // namespace Inflate
