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
    // Nor one whose arrays and dictionaries nest deeper than this (the library recurses).
    static constexpr size_t kMaxDepth = 256;

    std::map<std::string, std::string> strings;
    std::map<std::string, std::map<std::string, std::string>> dictionaries;
    // Why the property list cannot be read (which a Mac does not open a bundle with, unless the
    // text names the check's own bounds); "" when it is read, or there is no file.
    std::string error;

    // The file at path, a regular file; empty, with no error, when there is none. Never throws.
    static InfoPlist read(const std::string& path);
    // The same for a property list in memory: bounded in size and depth, then the system's
    // library reads it.
    static InfoPlist parse(const std::string& data);

    // The string value of key; "" when it is absent or no string.
    std::string string(const std::string& key) const;

private:
    // The system's library on data that parse() has bounded; error set where it reads none.
    static InfoPlist parseBounded(const std::string& data);
};

#endif // INFOPLIST_H
