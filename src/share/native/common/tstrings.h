#ifndef TSTRINGS_H
#define TSTRINGS_H

#include <sstream>
#include <string>
#include <vector>

namespace tstrings {

enum CompareType { CASE_SENSITIVE = 0, IGNORE_CASE = 1 };

enum SplitType { SPLIT_ALL = 0, SPLIT_FILTERED = 1 };

// True when a and b hold the same bytes (after toLower of both with IGNORE_CASE).
bool equals(const std::string& a, const std::string& b, CompareType ct = CASE_SENSITIVE);

// A copy with the ASCII letters A-Z lowered; every other byte unchanged.
std::string toLower(const std::string& str);

bool startsWith(const std::string& str, const std::string& prefix,
                CompareType ct = CASE_SENSITIVE);
bool endsWith(const std::string& str, const std::string& suffix,
              CompareType ct = CASE_SENSITIVE);

// Appends the pieces of str between occurrences of delimiter to out; appends nothing
// when str or delimiter is empty.
void split(std::vector<std::string>& out, const std::string& str, const std::string& delimiter,
           SplitType st = SPLIT_ALL);

// The elements of [first, last) with delimiter between neighbours.
template <class It> std::string join(It first, It last, const std::string& delimiter) {
    std::string result;
    for (It it = first; it != last; ++it) {
        if (it != first) {
            result += delimiter;
        }
        result += *it;
    }
    return result;
}

// Message builder: every log and error text is composed by inserting values into one.
class any {
public:
    any() {}
    any(const std::string& v) { data << v; }
    any(const char* v) { *this << v; }
    any(const any&) = delete;
    any& operator=(const any&) = delete;

    any& operator<<(const std::string& v) {
        data << v;
        return *this;
    }
    // A null text inserts nothing rather than putting the stream into a failed state.
    any& operator<<(const char* v) {
        if (v) {
            data << v;
        }
        return *this;
    }
    any& operator<<(char* v) { return *this << static_cast<const char*>(v); }
    template <class T> any& operator<<(const T& v) {
        data << v;
        return *this;
    }

    std::string str() const { return data.str(); }

private:
    std::ostringstream data;
};

} // namespace tstrings

#endif // TSTRINGS_H
