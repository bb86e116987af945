// The file-level half of the Info.plist reader, and the bounds that come before the platform's
// parse (CoreFoundation on macOS, libplist elsewhere), which recurses into nested arrays and
// dictionaries.

#include "InfoPlist.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "FileUtils.h"

namespace {

// The deepest nesting of elements in an XML property list, counted past kMaxDepth only as
// "more".
size_t xmlDepth(const std::string& data) {
    size_t depth = 0;
    size_t deepest = 0;
    for (size_t at = data.find('<'); at != std::string::npos && deepest <= InfoPlist::kMaxDepth;
         at = data.find('<', at + 1)) {
        const auto skipTo = [&](const char* end) {
            const size_t found = data.find(end, at);
            at = found == std::string::npos ? data.size() : found;
        };
        if (data.compare(at, 4, "<!--") == 0) {
            skipTo("-->");
        } else if (data.compare(at, 9, "<![CDATA[") == 0) {
            skipTo("]]>");
        } else if (data.compare(at, 2, "</") == 0) {
            depth -= depth > 0 ? 1 : 0;
        } else if (data.compare(at, 2, "<?") != 0 && data.compare(at, 2, "<!") != 0) {
            const size_t close = data.find('>', at);
            if (close == std::string::npos) {
                break;
            }
            if (data[close - 1] != '/') {
                deepest = std::max(deepest, ++depth);
            }
            at = close;
        }
    }
    return deepest;
}

std::string tooDeep() {
    return "its arrays and dictionaries nest deeper than " + std::to_string(InfoPlist::kMaxDepth) +
           " levels, the most the check reads";
}

// What keeps the library from reading an XML property list safely: a NUL character, as a byte
// or a character reference (XML allows neither, and the host's library aborts on it),
// elements nested deeper than kMaxDepth; "" for none.
std::string xmlProblem(const std::string& data) {
    bool nul = data.find('\0') != std::string::npos;
    for (size_t at = data.find("&#"); !nul && at != std::string::npos;
         at = data.find("&#", at + 2)) {
        const bool hex = data.compare(at + 2, 1, "x") == 0;
        const size_t digits = at + (hex ? 3 : 2);
        const size_t end =
            data.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789", digits);
        nul = end != digits && data.find_first_not_of('0', digits) >= end;
    }
    return nul ? "it holds a NUL character, which no XML property list may"
           : xmlDepth(data) > InfoPlist::kMaxDepth ? tooDeep()
                                                   : std::string();
}

// The unsigned big-endian integer of size bytes at offset; false where it lies outside data.
bool readBig(const std::string& data, uint64_t offset, uint64_t size, uint64_t& v) {
    if (size > 8 || offset > data.size() || size > data.size() - offset) {
        return false;
    }
    v = 0;
    for (uint64_t i = 0; i != size; ++i) {
        v = v << 8 | static_cast<unsigned char>(data[offset + i]);
    }
    return true;
}

// What keeps the library from reading a binary property list ("bplist00", objects, offset
// table, trailer) safely: collections nested deeper than kMaxDepth (a shared object counts at
// every place it is used, so that nesting by sharing, or a cycle, is bounded as well), a string
// with a NUL character (which the host's library aborts on); "" for none. What does not add up
// otherwise is left to the library to refuse.
std::string binaryProblem(const std::string& data) {
    uint64_t offsetSize = 0, refSize = 0, count = 0, top = 0, table = 0;
    const uint64_t trailer = data.size() - 32;
    if (data.size() < 40 || !readBig(data, trailer + 6, 1, offsetSize) ||
        !readBig(data, trailer + 7, 1, refSize) || !readBig(data, trailer + 8, 8, count) ||
        !readBig(data, trailer + 16, 8, top) || !readBig(data, trailer + 24, 8, table)) {
        return std::string();
    }
    // The objects still to look at, each with its depth.
    std::vector<std::pair<uint64_t, size_t>> todo = {{top, 1}};
    for (size_t visits = 0; !todo.empty(); ++visits) {
        const std::pair<uint64_t, size_t> object = todo.back();
        todo.pop_back();
        uint64_t offset = 0, marker = 0;
        if (object.first >= count ||
            !readBig(data, table + object.first * offsetSize, offsetSize, offset) ||
            !readBig(data, offset, 1, marker)) {
            continue;
        }
        if (visits > (1u << 20) || object.second > InfoPlist::kMaxDepth) {
            return tooDeep();
        }
        // The count in the marker's low bits, else in the integer object that follows.
        const uint64_t kind = marker >> 4;
        uint64_t items = marker & 0xf, at = offset + 1;
        uint64_t intMarker = 0;
        if (items == 0xf) {
            if (!readBig(data, at, 1, intMarker) || intMarker >> 4 != 1 ||
                !readBig(data, at + 1, uint64_t(1) << (intMarker & 0xf), items)) {
                continue;
            }
            at += 1 + (uint64_t(1) << (intMarker & 0xf));
        }
        // An ASCII string, a UTF-16 one.
        if (kind == 0x5 || kind == 0x6) {
            const uint64_t unit = kind == 0x5 ? 1 : 2;
            if (items <= data.size() / unit && at <= data.size() &&
                items * unit <= data.size() - at) {
                for (uint64_t i = 0; i != items; ++i) {
                    uint64_t c = 0;
                    readBig(data, at + i * unit, unit, c);
                    if (c == 0) {
                        return "a string in it holds a NUL character, which the check does not "
                               "read";
                    }
                }
            }
            continue;
        }
        if (kind != 0xa && kind != 0xb && kind != 0xc && kind != 0xd) {
            continue; // no collection
        }
        // A dictionary lists its keys, then its values.
        const uint64_t refs = kind == 0xd ? items * 2 : items;
        if (refSize == 0 || items > data.size() ||
            refs * refSize > data.size() - std::min<uint64_t>(at, data.size())) {
            continue;
        }
        for (uint64_t i = 0; i != refs; ++i) {
            uint64_t ref = 0;
            readBig(data, at + i * refSize, refSize, ref);
            todo.emplace_back(ref, object.second + 1);
        }
    }
    return std::string();
}

} // namespace

InfoPlist InfoPlist::read(const std::string& path) {
    InfoPlist result;
    if (!FileUtils::isFileExists(path)) {
        return result;
    }
    std::FILE* file = FileUtils::openRegularFile(path);
    struct stat st;
    if (!file || ::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.error = file || errno == 0 ? "it is no regular file" : std::strerror(errno);
    } else if (static_cast<unsigned long long>(st.st_size) > kMaxSize) {
        result.error =
            "it is larger than " + std::to_string(kMaxSize >> 20) + " MB, the most the check reads";
    } else {
        std::string data(static_cast<size_t>(st.st_size), '\0');
        data.resize(std::fread(&data[0], 1, data.size(), file));
        if (std::ferror(file)) {
            result.error = std::strerror(errno);
        } else {
            result = parse(data);
        }
    }
    if (file) {
        std::fclose(file);
    }
    return result;
}

InfoPlist InfoPlist::parse(const std::string& data) {
    InfoPlist result;
    if (data.empty() || data.size() > kMaxSize) {
        result.error = data.empty() ? "it is empty" : "it is too large";
    } else {
        result.error = data.compare(0, 8, "bplist00") == 0 ? binaryProblem(data) : xmlProblem(data);
        if (result.error.empty()) {
            result = parseBounded(data);
        }
    }
    return result;
}

std::string InfoPlist::string(const std::string& key) const {
    const auto it = strings.find(key);
    return it == strings.end() ? std::string() : it->second;
}
