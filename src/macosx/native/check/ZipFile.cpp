#include "ZipFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// Decodes the raw deflate stream in data (as zip entries hold it) into out, which must come to
// exactly size bytes; false when the stream is damaged, ends early or holds more.
bool inflateRaw(const std::string& data, size_t size, std::string& out) {
    if (data.size() > UINT_MAX || size >= UINT_MAX) {
        return false;
    }
    // One byte more than declared, to see a stream that holds more.
    out.assign(size + 1, '\0');
    z_stream z = {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        return false;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    const bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == size;
    inflateEnd(&z);
    out.resize(ended ? size : 0);
    return ended;
}

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kMaxComment = 0xffff;

// A central directory larger than this is refused rather than read into memory: it would
// describe millions of entries.
constexpr uint64_t kMaxCentralDirectory = 256u << 20;

constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;

uint16_t u16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                                 static_cast<unsigned char>(s[at + 1]) << 8);
}

uint32_t u32(const std::string& s, size_t at) {
    return u16(s, at) | uint32_t(u16(s, at + 2)) << 16;
}

uint64_t u64(const std::string& s, size_t at) {
    return u32(s, at) | uint64_t(u32(s, at + 4)) << 32;
}

// The end record as found, with the zip64 values in place of the short ones where they apply.
struct End {
    uint64_t position; // of the end record (or of the zip64 end record)
    uint64_t centralSize;
    uint64_t centralOffset;
};

} // namespace

ZipFile::~ZipFile() {
    close();
}

void ZipFile::close() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    bytes.clear();
    fileSize = 0;
    base = 0;
    entryNames.clear();
    entries.clear();
    byName.clear();
    reason.clear();
}

bool ZipFile::fail(const std::string& why) {
    close();
    reason = why;
    return false;
}

bool ZipFile::open(const std::string& path) {
    close();
    try {
        // Non-blocking, so that a pipe in the way does not wait for a writer.
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return fail(std::strerror(errno));
        }
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            return fail(std::strerror(errno));
        }
        if (!S_ISREG(st.st_mode)) {
            return fail(S_ISDIR(st.st_mode) ? "a directory" : "not a regular file");
        }
        fileSize = static_cast<uint64_t>(st.st_size);
        return readCentralDirectory();
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    }
}

bool ZipFile::openBytes(std::string data) {
    close();
    try {
        bytes = std::move(data);
        fileSize = bytes.size();
        return readCentralDirectory();
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    }
}

bool ZipFile::readAt(uint64_t offset, size_t n, std::string& out) const {
    if (offset > fileSize || n > fileSize - offset) {
        return false;
    }
    if (fd < 0) {
        out.assign(bytes, static_cast<size_t>(offset), n);
        return true;
    }
    out.resize(n);
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, &out[done], n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false; // an error, or the file shrank
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool ZipFile::readCentralDirectory() {
    // The end record closes the file, followed only by its comment of up to 64 KiB: look for
    // its signature from the back.
    const uint64_t tailSize = std::min<uint64_t>(fileSize, kEndSize + kMaxComment);
    std::string tail;
    if (fileSize < kEndSize || !readAt(fileSize - tailSize, static_cast<size_t>(tailSize), tail)) {
        return fail("not a zip file: too short");
    }
    const uint64_t tailStart = fileSize - tailSize;
    End end = {};
    bool found = false;
    std::string probe;
    for (size_t i = tail.size() - kEndSize + 1; i-- > 0 && !found;) {
        if (u32(tail, i) != kEndSignature) {
            continue;
        }
        end.position = tailStart + i;
        end.centralSize = u32(tail, i + 12);
        end.centralOffset = u32(tail, i + 16);
        const uint16_t entryCount = u16(tail, i + 10);
        const uint64_t commentEnd = end.position + kEndSize + u16(tail, i + 20);
        if (commentEnd != fileSize) {
            // A record whose comment does not reach the end may be bytes inside the comment,
            // or a zip file with something appended: take it when the central directory and
            // the first entry it implies start where it says.
            const uint64_t central = end.position - end.centralSize;
            if (end.centralSize > end.position || end.centralOffset > central ||
                !readAt(central, 4, probe) || u32(probe, 0) != kCentralSignature ||
                !readAt(central - end.centralOffset, 4, probe) ||
                u32(probe, 0) != kLocalSignature) {
                continue;
            }
        }
        found = true;
        // A zip64 end record, named by the locator just before, holds the values that do not
        // fit; it is used when it agrees with what the short record could say.
        std::string locator;
        std::string end64;
        if (end.position >= kZip64LocatorSize &&
            readAt(end.position - kZip64LocatorSize, kZip64LocatorSize, locator) &&
            u32(locator, 0) == kZip64LocatorSignature &&
            readAt(u64(locator, 8), kZip64EndSize, end64) && u32(end64, 0) == kZip64EndSignature) {
            const uint64_t count64 = u64(end64, 32);
            const uint64_t size64 = u64(end64, 40);
            const uint64_t offset64 = u64(end64, 48);
            if ((size64 == end.centralSize || end.centralSize == 0xffffffff) &&
                (offset64 == end.centralOffset || end.centralOffset == 0xffffffff) &&
                (count64 == entryCount || entryCount == 0xffff)) {
                end.position = u64(locator, 8);
                end.centralSize = size64;
                end.centralOffset = offset64;
            }
        }
    }
    if (!found) {
        return fail("not a zip file: no end of central directory");
    }

    if (end.centralSize > end.position) {
        return fail("bad central directory size");
    }
    const uint64_t central = end.position - end.centralSize;
    if (end.centralOffset > central) {
        return fail("bad central directory offset");
    }
    // Offsets count from the start of the zip data, which a prefix may push back.
    base = central - end.centralOffset;
    if (end.centralSize > kMaxCentralDirectory) {
        return fail("central directory too large");
    }
    std::string dir;
    if (!readAt(central, static_cast<size_t>(end.centralSize), dir)) {
        return fail("central directory cut short");
    }

    size_t pos = 0;
    while (pos < dir.size()) {
        if (dir.size() - pos < kCentralHeaderSize || u32(dir, pos) != kCentralSignature) {
            return fail("bad central directory entry " + std::to_string(entries.size() + 1));
        }
        const uint16_t flags = u16(dir, pos + 8);
        Entry e = {};
        e.method = u16(dir, pos + 10);
        e.crc = u32(dir, pos + 16);
        e.compressedSize = u32(dir, pos + 20);
        e.size = u32(dir, pos + 24);
        const size_t nameLength = u16(dir, pos + 28);
        const size_t extraLength = u16(dir, pos + 30);
        const size_t commentLength = u16(dir, pos + 32);
        e.localOffset = u32(dir, pos + 42);
        const size_t nameAt = pos + kCentralHeaderSize;
        const size_t extraAt = nameAt + nameLength;
        const size_t next = extraAt + extraLength + commentLength;
        if (next > dir.size()) {
            return fail("bad central directory entry " + std::to_string(entries.size() + 1));
        }
        std::string name = dir.substr(nameAt, nameLength);
        if (e.method != kStored && e.method != kDeflated) {
            return fail("entry \"" + name + "\" has compression method " +
                        std::to_string(e.method));
        }
        if (flags & 1) {
            return fail("entry \"" + name + "\" is encrypted");
        }
        // The zip64 extra field holds, in this order, the values whose short field is full.
        uint64_t* const wide[] = {&e.size, &e.compressedSize, &e.localOffset};
        for (size_t x = extraAt; x + 4 <= extraAt + extraLength;) {
            const uint16_t id = u16(dir, x);
            const size_t length = u16(dir, x + 2);
            const size_t dataEnd = x + 4 + length;
            if (dataEnd > extraAt + extraLength) {
                break;
            }
            if (id == 1) {
                size_t at = x + 4;
                for (uint64_t* value : wide) {
                    if (*value == 0xffffffff && at + 8 <= dataEnd) {
                        *value = u64(dir, at);
                        at += 8;
                    }
                }
            }
            x = dataEnd;
        }
        entryNames.push_back(std::move(name));
        entries.push_back(e);
        pos = next;
    }
    if (entries.size() > UINT32_MAX) {
        return fail("too many entries");
    }
    byName.resize(entries.size());
    for (uint32_t i = 0; i != byName.size(); ++i) {
        byName[i] = i;
    }
    std::stable_sort(byName.begin(), byName.end(),
                     [this](uint32_t a, uint32_t b) { return entryNames[a] < entryNames[b]; });
    return true;
}

const ZipFile::Entry* ZipFile::find(const std::string& name) const {
    const auto after = std::upper_bound(
        byName.begin(), byName.end(), name,
        [this](const std::string& n, uint32_t index) { return n < entryNames[index]; });
    // Of several entries with one name, the runtime reads the last.
    if (after == byName.begin() || entryNames[*(after - 1)] != name) {
        return nullptr;
    }
    return &entries[*(after - 1)];
}

bool ZipFile::contains(const std::string& name) const {
    return find(name) != nullptr;
}

bool ZipFile::read(const std::string& name, std::string& out, size_t limit) const {
    out.clear();
    try {
        const Entry* e = find(name);
        if (!e || e->size > limit) {
            return false;
        }
        // Deflate enlarges what it cannot compress by a few bytes in a thousand; more than an
        // eighth is no stream of this entry.
        if (e->method == kStored
                ? e->compressedSize != e->size
                : e->compressedSize > e->size && e->compressedSize - e->size > e->size / 8 + 1024) {
            return false;
        }
        std::string local;
        if (e->localOffset > fileSize - base ||
            !readAt(base + e->localOffset, kLocalHeaderSize, local) ||
            u32(local, 0) != kLocalSignature) {
            return false;
        }
        // The local header's own name and extra field lengths, which may differ from the
        // central directory's, place the data.
        const uint64_t dataAt =
            base + e->localOffset + kLocalHeaderSize + u16(local, 26) + u16(local, 28);
        std::string data;
        if (!readAt(dataAt, static_cast<size_t>(e->compressedSize), data)) {
            return false;
        }
        if (e->method == kStored) {
            out.swap(data);
        } else if (!inflateRaw(data, static_cast<size_t>(e->size), out)) {
            out.clear();
            return false;
        }
        if (::crc32(0, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size())) !=
            e->crc) {
            out.clear();
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
}
