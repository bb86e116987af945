#include "InfoPlist.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kCdataOpen[] = "<![CDATA[";
const char kCdataClose[] = "]]>";

bool startsAt(const std::string& s, size_t at, const char* prefix) {
    return s.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where the text that starts at from ends with the closing tag of name (CDATA sections
// skipped); after gets the position behind the tag. npos when it does not end.
size_t contentEnd(const std::string& xml, size_t from, const std::string& name, size_t& after) {
    const std::string close = "</" + name;
    for (size_t at = from; at < xml.size();) {
        if (startsAt(xml, at, kCdataOpen)) {
            const size_t end = xml.find(kCdataClose, at + sizeof kCdataOpen - 1);
            if (end == std::string::npos) {
                return std::string::npos;
            }
            at = end + sizeof kCdataClose - 1;
            continue;
        }
        if (startsAt(xml, at, close.c_str())) {
            size_t gt = at + close.size();
            while (gt < xml.size() && isSpace(xml[gt])) {
                ++gt;
            }
            if (gt < xml.size() && xml[gt] == '>') {
                after = gt + 1;
                return at;
            }
        }
        ++at;
    }
    return std::string::npos;
}

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xc0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xe0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3f));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
}

// The character that the reference "#65" or "#x41" stands for, false when it is none.
bool characterReference(const std::string& ref, uint32_t& c) {
    const bool hex = ref.size() > 1 && ref[1] == 'x';
    const size_t start = hex ? 2 : 1;
    if (ref.size() <= start || ref.size() > start + 8) {
        return false;
    }
    c = 0;
    for (size_t i = start; i != ref.size(); ++i) {
        const char d = ref[i];
        int v = d >= '0' && d <= '9' ? d - '0' : -1;
        if (hex && v < 0) {
            v = d >= 'a' && d <= 'f' ? d - 'a' + 10 : d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
        }
        if (v < 0) {
            return false;
        }
        c = c * (hex ? 16 : 10) + static_cast<uint32_t>(v);
    }
    return c != 0 && c <= 0x10ffff && !(c >= 0xd800 && c <= 0xdfff);
}

// The text between begin and end with entities and character references decoded and CDATA
// sections taken as they stand; what is no known reference stays as written.
std::string decode(const std::string& xml, size_t begin, size_t end) {
    static const char* const entities[][2] = {
        {"lt", "<"}, {"gt", ">"}, {"amp", "&"}, {"quot", "\""}, {"apos", "'"}};
    std::string out;
    for (size_t i = begin; i < end;) {
        if (startsAt(xml, i, kCdataOpen)) {
            const size_t start = i + sizeof kCdataOpen - 1;
            size_t close = xml.find(kCdataClose, start);
            close = close == std::string::npos || close > end ? end : close;
            out.append(xml, start, close - start);
            i = close + sizeof kCdataClose - 1;
            continue;
        }
        // References are short: the ";" is looked for only that far.
        size_t semicolon = std::string::npos;
        if (xml[i] == '&') {
            const size_t stop = std::min(end, i + 12);
            const auto at = std::find(xml.begin() + static_cast<std::ptrdiff_t>(i),
                                      xml.begin() + static_cast<std::ptrdiff_t>(stop), ';');
            if (at != xml.begin() + static_cast<std::ptrdiff_t>(stop)) {
                semicolon = static_cast<size_t>(at - xml.begin());
            }
        }
        if (semicolon != std::string::npos) {
            const std::string name = xml.substr(i + 1, semicolon - i - 1);
            bool known = false;
            for (const auto& entity : entities) {
                if (name == entity[0]) {
                    out += entity[1];
                    known = true;
                }
            }
            uint32_t c;
            if (!known && !name.empty() && name[0] == '#' && characterReference(name, c)) {
                appendUtf8(out, c);
                known = true;
            }
            if (known) {
                i = semicolon + 1;
                continue;
            }
        }
        out += xml[i++];
    }
    return out;
}

} // namespace

namespace InfoPlist {

std::string stringValue(const std::string& xml, const std::string& key) {
    try {
        int depth = 0;       // open dict and array elements
        bool wanted = false; // the next element is the value of key
        for (size_t pos = 0;;) {
            const size_t lt = xml.find('<', pos);
            if (lt == std::string::npos) {
                return std::string();
            }
            // Comments, the XML declaration, the document type and stray CDATA are skipped.
            const char* skipUntil = startsAt(xml, lt, "<!--")       ? "-->"
                                    : startsAt(xml, lt, "<?")       ? "?>"
                                    : startsAt(xml, lt, kCdataOpen) ? kCdataClose
                                    : startsAt(xml, lt, "<!")       ? ">"
                                                                    : nullptr;
            if (skipUntil) {
                const size_t end = xml.find(skipUntil, lt + 2);
                if (end == std::string::npos) {
                    return std::string();
                }
                pos = end + std::char_traits<char>::length(skipUntil);
                continue;
            }
            const size_t gt = xml.find('>', lt + 1);
            if (gt == std::string::npos) {
                return std::string();
            }
            pos = gt + 1;
            const bool closing = xml[lt + 1] == '/';
            const bool empty = !closing && xml[gt - 1] == '/';
            const size_t nameStart = lt + 1 + (closing ? 1 : 0);
            size_t nameEnd = nameStart;
            while (nameEnd < gt && !isSpace(xml[nameEnd]) && xml[nameEnd] != '/') {
                ++nameEnd;
            }
            const std::string name = xml.substr(nameStart, nameEnd - nameStart);
            if (closing) {
                if (wanted) {
                    return std::string(); // the dictionary ends before the value
                }
                depth -= name == "dict" || name == "array" ? 1 : 0;
                continue;
            }
            if (wanted) {
                if (name != "string" || empty) {
                    return std::string(); // another type, or <string/>
                }
                size_t after = 0;
                const size_t end = contentEnd(xml, pos, name, after);
                return end == std::string::npos ? std::string() : decode(xml, pos, end);
            }
            if (empty) {
                continue;
            }
            if (name == "dict" || name == "array") {
                ++depth;
            } else if (name == "key" || name == "string") {
                // Skipped as a whole, so that nothing inside a value reads as markup.
                size_t after = 0;
                const size_t end = contentEnd(xml, pos, name, after);
                if (end == std::string::npos) {
                    return std::string();
                }
                // Only the top dictionary's keys count, not those of nested ones.
                wanted = name == "key" && depth == 1 && decode(xml, pos, end) == key;
                pos = after;
            }
        }
    } catch (const std::bad_alloc&) {
        return std::string();
    }
}

std::string fileStringValue(const std::string& path, const std::string& key) {
    // Non-blocking, so that a pipe in the way does not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::string();
    }
    std::string text;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<uint64_t>(st.st_size) <= kMaxSize;
    try {
        char buf[4096];
        while (ok && text.size() <= kMaxSize) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            ok = n >= 0;
            if (n <= 0) {
                break;
            }
            text.append(buf, static_cast<size_t>(n));
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    ::close(fd);
    return ok && text.size() <= kMaxSize ? stringValue(text, key) : std::string();
}

} // namespace InfoPlist
