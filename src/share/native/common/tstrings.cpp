#include "tstrings.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace tstrings {

bool equals(const std::string& a, const std::string& b, CompareType ct) {
    return ct == IGNORE_CASE ? toLower(a) == toLower(b) : a == b;
}

std::string toLower(const std::string& str) {
    std::string result(str);
    for (char& c : result) {
        // Only the ASCII letters change: the locale is never changed from "C".
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

bool startsWith(const std::string& str, const std::string& prefix, CompareType ct) {
    return str.size() >= prefix.size() && equals(str.substr(0, prefix.size()), prefix, ct);
}

bool endsWith(const std::string& str, const std::string& suffix, CompareType ct) {
    return str.size() >= suffix.size() &&
           equals(str.substr(str.size() - suffix.size()), suffix, ct);
}

void split(std::vector<std::string>& out, const std::string& str, const std::string& delimiter,
           SplitType st) {
    if (str.empty() || delimiter.empty()) {
        return;
    }
    size_t start = 0;
    for (size_t pos = str.find(delimiter); pos != std::string::npos;
         pos = str.find(delimiter, start)) {
        // Filtered mode keeps only inner pieces of two bytes or more.
        if (st == SPLIT_ALL || pos - start > 1) {
            out.push_back(str.substr(start, pos - start));
        }
        start = pos + delimiter.size();
    }
    if (st == SPLIT_ALL || start < str.size()) {
        out.push_back(str.substr(start));
    }
}

any& any::appendPointer(const volatile void* v) {
    char buf[3 + 2 * sizeof(void*)];
    std::snprintf(buf, sizeof(buf), "0x%jx",
                  static_cast<uintmax_t>(reinterpret_cast<uintptr_t>(v)));
    data += buf;
    return *this;
}

} // namespace tstrings
