#include "JarManifest.h"

#include <new>

#include "ZipFile.h"

namespace {

// The runtime reads a manifest line into a buffer of this many bytes, line end included.
constexpr size_t kLineBuffer = 512;

// Attribute names: 1 to 70 ASCII letters, digits, "-" and "_".
constexpr size_t kMaxNameLength = 70;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerCase(std::string s) {
    for (char& c : s) {
        c = lower(c);
    }
    return s;
}

bool isValidName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength) {
        return false;
    }
    for (const char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_')) {
            return false;
        }
    }
    return true;
}

// The lines of a manifest as the runtime cuts them.
class Lines {
public:
    enum Result { Line, End, TooLong };

    explicit Lines(const std::string& text) : text(text) {}

    // The next line without its end. A last line without an end is dropped, unless it does
    // not fit the buffer either.
    Result next(std::string& line) {
        const size_t start = pos;
        for (size_t n = 0;; ++n) {
            if (n == kLineBuffer) {
                return TooLong;
            }
            if (pos == text.size()) {
                return End;
            }
            const char c = text[pos++];
            if (c == '\n' || c == '\r') {
                line.assign(text, start, n);
                // A LF after a CR belongs to the same line end, when the buffer has room.
                if (c == '\r' && n + 1 < kLineBuffer && pos < text.size() && text[pos] == '\n') {
                    ++pos;
                }
                ++number;
                return Line;
            }
        }
    }

    // True when the next line starts with a blank: it continues the current one.
    bool continued() const { return pos < text.size() && text[pos] == ' '; }

    size_t lineNumber() const { return number + 1; }

private:
    const std::string& text;
    size_t pos = 0;
    size_t number = 0;
};

} // namespace

const char* const JarManifest::kEntryName = "META-INF/MANIFEST.MF";

bool JarManifest::parse(const std::string& text) {
    attributes.clear();
    reason.clear();
    try {
        Lines lines(text);
        std::string line;
        const auto failAt = [&](size_t number, const std::string& why) {
            attributes.clear();
            reason = "line " + std::to_string(number) + ": " + why;
            return false;
        };

        // One section's attributes, up to an empty line or the end; kept for the main one.
        const auto readSection = [&](bool keep) {
            std::string name;
            std::string value;
            bool haveName = false;
            for (;;) {
                const Lines::Result r = lines.next(line);
                if (r == Lines::End) {
                    return true;
                }
                if (r == Lines::TooLong) {
                    return failAt(lines.lineNumber(), "line too long");
                }
                if (line.empty()) {
                    return true;
                }
                const size_t number = lines.lineNumber() - 1;
                if (line[0] == ' ') {
                    if (!haveName) {
                        return failAt(number, "continuation line without an attribute");
                    }
                    value.append(line, 1, std::string::npos);
                } else {
                    const size_t colon = line.find(':');
                    if (colon == std::string::npos || colon + 1 >= line.size() ||
                        line[colon + 1] != ' ') {
                        return failAt(number, "not a \"Name: value\" line");
                    }
                    name = line.substr(0, colon);
                    value = line.substr(colon + 2);
                    haveName = true;
                }
                if (lines.continued()) {
                    continue;
                }
                if (!isValidName(name)) {
                    return failAt(number, "invalid attribute name \"" + name + "\"");
                }
                if (keep) {
                    attributes[lowerCase(name)] = value;
                }
            }
        };

        if (!readSection(true)) {
            return false;
        }
        // The other sections start with "Name: " (any case), possibly continued, after any
        // number of empty lines; their attributes must be readable too.
        for (;;) {
            Lines::Result r;
            do {
                r = lines.next(line);
            } while (r == Lines::Line && line.empty());
            if (r == Lines::End) {
                return true;
            }
            if (r == Lines::TooLong) {
                return failAt(lines.lineNumber(), "line too long");
            }
            if (line.size() < 6 || lowerCase(line.substr(0, 6)) != "name: ") {
                return failAt(lines.lineNumber() - 1, "a section that does not start with Name:");
            }
            while (lines.continued()) {
                r = lines.next(line);
                if (r == Lines::End) {
                    return true;
                }
                if (r == Lines::TooLong) {
                    return failAt(lines.lineNumber(), "line too long");
                }
            }
            if (!readSection(false)) {
                return false;
            }
        }
    } catch (const std::bad_alloc&) {
        attributes.clear();
        reason = "out of memory";
        return false;
    }
}

JarManifest::Status JarManifest::readFrom(const ZipFile& jar) {
    attributes.clear();
    reason.clear();
    try {
        if (!jar.contains(kEntryName)) {
            return Status::Absent;
        }
        std::string text;
        if (jar.read(kEntryName, text, kMaxSize)) {
            return parse(text) ? Status::Valid : Status::Invalid;
        }
        reason = "cannot be read";
    } catch (const std::bad_alloc&) {
    }
    return Status::Unreadable;
}

std::string JarManifest::value(const std::string& name) const {
    try {
        const auto it = attributes.find(lowerCase(name));
        return it == attributes.end() ? std::string() : it->second;
    } catch (const std::bad_alloc&) {
        return std::string();
    }
}

bool JarManifest::has(const std::string& name) const {
    try {
        return attributes.count(lowerCase(name)) != 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::vector<std::string> JarManifest::classPath() const {
    std::vector<std::string> urls;
    try {
        const std::string text = value("Class-Path");
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find_first_of(" \t\f", start);
            const size_t stop = end == std::string::npos ? text.size() : end;
            if (stop > start) {
                urls.push_back(text.substr(start, stop - start));
            }
            start = stop + 1;
        }
    } catch (const std::bad_alloc&) {
        urls.clear();
    }
    return urls;
}

bool JarManifest::multiRelease() const {
    return lowerCase(value("Multi-Release")) == "true";
}
