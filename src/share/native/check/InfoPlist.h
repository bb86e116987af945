#ifndef INFOPLIST_H
#define INFOPLIST_H

#include <cstddef>
#include <map>
#include <string>

// What the check needs of a bundle's Info.plist, read with the system's property list library
// (XML and binary alike): the top-level string values and the string entries of the top-level
// dictionaries, such as LSEnvironment.
struct InfoPlist {
    // A property list file larger than this is not read.
    static constexpr size_t kMaxSize = 8u << 20;

    std::map<std::string, std::string> strings;
    std::map<std::string, std::map<std::string, std::string>> dictionaries;

    // The file at path; empty when it cannot be read or holds no property list whose top level
    // is a dictionary. Never throws.
    static InfoPlist read(const std::string& path);
    // The same for a property list in memory.
    static InfoPlist parse(const std::string& data);

    // The string value of key; "" when it is absent or no string.
    std::string string(const std::string& key) const;
};

#endif // INFOPLIST_H
