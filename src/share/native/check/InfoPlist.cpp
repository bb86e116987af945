// The file-level half of the Info.plist reader; the parse itself is the platform's
// (CoreFoundation on macOS, libplist elsewhere).

#include "InfoPlist.h"

#include <fstream>
#include <iterator>
#include <sys/stat.h>

InfoPlist InfoPlist::read(const std::string& path) {
    struct stat st;
    // Only a regular file: a FIFO or a device would block or never end.
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > kMaxSize) {
        return InfoPlist();
    }
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        return InfoPlist();
    }
    return parse(data);
}

std::string InfoPlist::string(const std::string& key) const {
    const auto it = strings.find(key);
    return it == strings.end() ? std::string() : it->second;
}
