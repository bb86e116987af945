#include "JarManifest.h"

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "FileUtils.h"
#include "tstrings.h"

namespace {

const char kEntryName[] = "META-INF/MANIFEST.MF";
// A manifest larger than this is not read; nor is a central directory.
constexpr uint32_t kMaxManifest = 4u << 20;
constexpr uint64_t kMaxCentralDirectory = 256u << 20;
constexpr size_t kEndSize = 22;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;

uint32_t le(const std::string& s, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = n; i-- > 0;) {
        v = v << 8 | static_cast<unsigned char>(s[at + i]);
    }
    return v;
}

// A regular file, opened without blocking so that a pipe in the way waits for no writer.
class ZipFile {
public:
    explicit ZipFile(const std::string& path)
        : fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        struct stat st;
        regular = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        size = regular ? static_cast<uint64_t>(st.st_size) : 0;
    }
    ~ZipFile() { ::close(fd); } // where the open failed, a harmless EBADF

    // Reads n bytes at offset into out; false when they are not all there.
    bool readAt(uint64_t offset, size_t n, std::string& out) const {
        out.resize(n);
        for (size_t done = 0; done < n;) {
            const ssize_t got =
                ::pread(fd, &out[done], n - done, static_cast<off_t>(offset + done));
            if (got <= 0) {
                return false;
            }
            done += static_cast<size_t>(got);
        }
        return true;
    }

    // The end record in tail, the file's last bytes (it has a comment of 64 KiB at most); npos
    // for none.
    size_t endRecord(std::string& tail) const {
        const uint64_t tailSize = std::min<uint64_t>(size, kEndSize + 0xffff);
        return size < kEndSize || !readAt(size - tailSize, static_cast<size_t>(tailSize), tail)
                   ? std::string::npos
                   : tail.rfind(std::string("PK\x05\x06", 4), tail.size() - kEndSize);
    }

    const int fd;
    bool regular;
    uint64_t size;
};

// The manifest entry's bytes, unpacked; "" when there is none or it cannot be read.
std::string manifestOf(const ZipFile& zip) {
    std::string tail;
    const size_t end = zip.endRecord(tail);
    if (end == std::string::npos) {
        return std::string();
    }
    const uint64_t endAt = zip.size - tail.size() + end;
    const uint64_t dirSize = le(tail, end + 12, 4);
    const uint64_t dirOffset = le(tail, end + 16, 4);
    std::string dir;
    if (dirSize > endAt || dirSize > kMaxCentralDirectory || dirOffset > endAt - dirSize ||
        !zip.readAt(endAt - dirSize, static_cast<size_t>(dirSize), dir)) {
        return std::string();
    }
    // Offsets count from the start of the zip data, which a prefix (a script) may push back.
    const uint64_t base = endAt - dirSize - dirOffset;
    // Of several entries with one name, the runtime reads the last.
    size_t found = std::string::npos;
    for (size_t pos = 0; pos + kCentralHeaderSize <= dir.size() && le(dir, pos, 4) == 0x02014b50;) {
        const size_t nameLength = le(dir, pos + 28, 2);
        if (dir.compare(pos + kCentralHeaderSize, nameLength, kEntryName) == 0) {
            found = pos;
        }
        pos += kCentralHeaderSize + nameLength + le(dir, pos + 30, 2) + le(dir, pos + 32, 2);
    }
    if (found == std::string::npos) {
        return std::string();
    }
    const uint32_t method = le(dir, found + 10, 2);
    const uint32_t crc = le(dir, found + 16, 4);
    const uint32_t packed = le(dir, found + 20, 4);
    const uint32_t length = le(dir, found + 24, 4);
    std::string local, data;
    const uint64_t localAt = base + le(dir, found + 42, 4);
    if ((method != 0 && method != 8) || length > kMaxManifest || packed > kMaxManifest + 1024 ||
        !zip.readAt(localAt, kLocalHeaderSize, local) || le(local, 0, 4) != 0x04034b50 ||
        !zip.readAt(localAt + kLocalHeaderSize + le(local, 26, 2) + le(local, 28, 2), packed,
                    data)) {
        return std::string();
    }
    std::string out;
    if (method == 0) {
        out.swap(data);
    } else {
        out.assign(length + 1, '\0'); // one byte more, to see a stream that holds more
        z_stream z = {};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
            return std::string();
        }
        z.next_in = reinterpret_cast<Bytef*>(&data[0]);
        z.avail_in = static_cast<uInt>(data.size());
        z.next_out = reinterpret_cast<Bytef*>(&out[0]);
        z.avail_out = static_cast<uInt>(out.size());
        const bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == length;
        inflateEnd(&z);
        out.resize(ended ? length : 0);
    }
    const bool intact =
        out.size() == length && ::crc32(0, reinterpret_cast<const Bytef*>(out.data()),
                                        static_cast<uInt>(out.size())) == crc;
    return intact ? out : std::string();
}

} // namespace

JarManifest::Attributes JarManifest::parse(const std::string& text) {
    Attributes attributes;
    try {
        std::string name, value;
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t stop = text.find_first_of("\r\n", pos);
            if (stop == std::string::npos) {
                break; // a last line without its end is dropped, as the runtime drops it
            }
            const std::string line = text.substr(pos, stop - pos);
            pos = stop + (text.compare(stop, 2, "\r\n") == 0 ? 2 : 1);
            if (line.empty()) {
                break;
            }
            if (line[0] == ' ') {
                value += line.substr(1);
            } else {
                const size_t colon = line.find(": ");
                name = colon == std::string::npos ? std::string()
                                                  : tstrings::toLower(line.substr(0, colon));
                value = colon == std::string::npos ? std::string() : line.substr(colon + 2);
            }
            if (!name.empty() && (pos >= text.size() || text[pos] != ' ')) {
                attributes[name] = value;
            }
        }
    } catch (const std::exception&) {
        attributes.clear();
    }
    return attributes;
}

JarManifest::Attributes JarManifest::read(const std::string& path) {
    try {
        const ZipFile zip(path);
        return zip.regular ? parse(manifestOf(zip)) : Attributes();
    } catch (const std::exception&) {
        return Attributes();
    }
}

bool JarManifest::isZip(const std::string& path) {
    try {
        const ZipFile zip(path);
        std::string tail;
        return !zip.regular || zip.endRecord(tail) != std::string::npos;
    } catch (const std::exception&) {
        return true;
    }
}

std::vector<std::string> JarManifest::classPath(const Attributes& attributes) {
    std::vector<std::string> urls;
    const Attributes::const_iterator it = attributes.find("class-path");
    const std::string text = it == attributes.end() ? std::string() : it->second;
    for (size_t start = 0; start < text.size();) {
        const size_t stop = std::min(text.find_first_of(" \t\f", start), text.size());
        if (stop > start) {
            urls.push_back(text.substr(start, stop - start));
        }
        start = stop + 1;
    }
    return urls;
}

std::vector<std::string> JarManifest::classPathFiles(const std::string& path) {
    std::vector<std::string> files;
    for (std::string url : classPath(read(path))) {
        if (tstrings::startsWith(url, "file:")) {
            url = url.substr(tstrings::startsWith(url, "file://") ? 7 : 5);
        } else if (url.find(':') != std::string::npos) {
            continue; // another kind of URL
        }
        std::string file;
        for (size_t i = 0; i < url.size(); ++i) {
            const std::string hex = url[i] == '%' ? url.substr(i + 1, 2) : "";
            if (url[i] != '%') {
                file += url[i];
            } else if (hex.size() == 2 &&
                       hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
                file += static_cast<char>(std::stoi(hex, nullptr, 16));
                i += 2;
            } else {
                file.clear(); // the runtime refuses the URL
                break;
            }
        }
        if (!file.empty()) {
            files.push_back(
                file[0] == '/' ? file : FileUtils::combinePath(FileUtils::dirname(path), file));
        }
    }
    return files;
}
