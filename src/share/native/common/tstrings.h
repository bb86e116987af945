#ifndef TSTRINGS_H
#define TSTRINGS_H

#include <string>
#include <type_traits>
#include <vector>

namespace tstrings {

enum CompareType { CASE_SENSITIVE = 0, IGNORE_CASE = 1 };

enum SplitType { SPLIT_ALL = 0, SPLIT_FILTERED = 1 };

// True when a and b hold the same bytes (after toLower of both with IGNORE_CASE).
bool equals(const std::string& a, const std::string& b, CompareType ct = CASE_SENSITIVE);

// A copy with the ASCII letters A-Z lowered; every other byte unchanged.
std::string toLower(const std::string& str);

bool startsWith(const std::string& str, const std::string& prefix, CompareType ct = CASE_SENSITIVE);
bool endsWith(const std::string& str, const std::string& suffix, CompareType ct = CASE_SENSITIVE);

// Appends the pieces of str between occurrences of delimiter to out; none for an empty side.
void split(std::vector<std::string>& out, const std::string& str, const std::string& delimiter,
           SplitType st = SPLIT_ALL);

// The elements of [first, last) with delimiter between neighbours.
template <class It> std::string join(It first, It last, const std::string& delimiter) {
    // Sized first: a long class path is joined without moving it again and again.
    size_t size = 0;
    for (It it = first; it != last; ++it) {
        size += (it != first ? delimiter.size() : 0) + it->size();
    }
    std::string result;
    result.reserve(size);
    for (It it = first; it != last; ++it) {
        if (it != first) {
            result += delimiter;
        }
        result += *it;
    }
    return result;
}

// The elements of items with delimiter between neighbours.
template <class C> std::string join(const C& items, const std::string& delimiter) {
    return join(items.begin(), items.end(), delimiter);
}

// Builds every log and error text as a default stream formats, without a stream's costly locale.
class any {
public:
    any() {}
    any(const std::string& v) : data(v) {}
    any(const char* v) { *this << v; }
    any(const any&) = delete;
    any& operator=(const any&) = delete;

    any& operator<<(const std::string& v) {
        data += v;
        return *this;
    }
    // A null text inserts nothing.
    any& operator<<(const char* v) {
        if (v) {
            data += v;
        }
        return *this;
    }
    any& operator<<(char* v) { return *this << static_cast<const char*>(v); }
    any& operator<<(char v) {
        data += v;
        return *this;
    }
    template <class T>
    typename std::enable_if<std::is_integral<T>::value, any&>::type operator<<(T v) {
        data += std::to_string(v);
        return *this;
    }
    template <class T> any& operator<<(const T* v) { return appendPointer(v); }

    std::string str() const { return data; }

private:
    any& appendPointer(const volatile void* v);

    std::string data;
};

} // namespace tstrings

#endif // TSTRINGS_H
