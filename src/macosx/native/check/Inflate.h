#ifndef INFLATE_H
#define INFLATE_H

#include <cstddef>
#include <cstdint>
#include <string>

// The decoder of raw deflate streams (RFC 1951), as zip files store their entries.
namespace Inflate {

// Decodes the stream in data into out (replacing its content); false, with out empty, when
// the stream is damaged or ends early, or would decode to more than limit bytes. Bytes after
// the final block are ignored. Never throws.
bool inflate(const unsigned char* data, size_t size, std::string& out, size_t limit);

// The CRC-32 of zip files (ISO 3309, as zlib computes it) of size bytes at data, continuing crc.
uint32_t crc32(const unsigned char* data, size_t size, uint32_t crc = 0);

} // namespace Inflate

#endif // INFLATE_H
