#include "FileUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ErrorHandling.h"
#include "tstrings.h"

namespace FileUtils {

std::string dirname(const std::string& path) {
    // A trailing "/." names the directory before it.
    const bool dotted = tstrings::endsWith(path, "/.") || tstrings::endsWith(path, "\\.");
    const auto separator =
        std::find_if(path.rbegin() + (dotted ? 2 : 0), path.rend(), isDirSeparator);
    const auto end = std::find_if_not(separator, path.rend(), isDirSeparator);
    return std::string(path.begin(), end.base());
}

std::string basename(const std::string& path) {
    return std::string(std::find_if(path.rbegin(), path.rend(), isDirSeparator).base(), path.end());
}

std::string combinePath(const std::string& parent, const std::string& child) {
    if (parent.empty()) {
        return child;
    }
    if (child.empty()) {
        return parent;
    }
    const size_t skip = isDirSeparator(child[0]) ? 1 : 0;
    return removeTrailingSlash(parent) + '/' + child.substr(skip);
}

std::string removeTrailingSlash(const std::string& path) {
    return std::string(path.begin(),
                       std::find_if_not(path.rbegin(), path.rend(), isDirSeparator).base());
}

LineReader::LineReader(const std::string& path) : file(openRegularFile(path)) {
    if (!file) {
        theOpenError = errno ? lastCRTError() : "not a regular file";
    }
}

LineReader::~LineReader() {
    if (file) {
        std::fclose(file);
    }
}

LineReader::Status LineReader::next(std::string& line) {
    line.clear();
    for (;;) {
        if (pos == end) {
            pos = 0;
            end = std::fread(buffer, 1, sizeof(buffer), file);
            if (end == 0) {
                // A last line without a line feed still counts.
                return std::ferror(file) ? ERROR : line.empty() ? END : LINE;
            }
        }
        const char* start = buffer + pos;
        const char* nl = static_cast<const char*>(std::memchr(start, '\n', end - pos));
        const size_t len = (nl ? nl : buffer + end) - start;
        line.append(start, len);
        pos += len;
        if (nl) {
            ++pos;
            return LINE;
        }
    }
}

} // namespace FileUtils
