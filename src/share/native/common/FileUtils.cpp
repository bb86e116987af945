#include "FileUtils.h"

#include "tstrings.h"

namespace FileUtils {

namespace {

// Position of the last separator in path[0, end), or npos.
size_t findLastSeparator(const std::string& path, size_t end) {
    while (end > 0) {
        --end;
        if (isDirSeparator(path[end])) {
            return end;
        }
    }
    return std::string::npos;
}

} // namespace

std::string dirname(const std::string& path) {
    size_t end = path.size();
    if (tstrings::endsWith(path, "/.") || tstrings::endsWith(path, "\\.")) {
        end -= 2;
    }
    size_t pos = findLastSeparator(path, end);
    if (pos == std::string::npos) {
        return std::string();
    }
    while (pos > 0 && isDirSeparator(path[pos])) {
        --pos;
    }
    if (isDirSeparator(path[pos])) {
        return std::string();
    }
    return path.substr(0, pos + 1);
}

std::string basename(const std::string& path) {
    const size_t pos = findLastSeparator(path, path.size());
    return pos == std::string::npos ? path : path.substr(pos + 1);
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
    size_t end = path.size();
    while (end > 0 && isDirSeparator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

} // namespace FileUtils
