#ifndef INFOPLIST_H
#define INFOPLIST_H

#include <cstddef>
#include <string>

// Reads values from a bundle's Info.plist in the XML form that make-bundle and Xcode write.
namespace InfoPlist {

// A property list file larger than this is not read.
constexpr size_t kMaxSize = 8u << 20;

// The string value of key in the top-level dictionary of the XML property list xml, with the
// XML entities and character references decoded; "" when the key is absent there, its value
// is no string, or the text is no XML property list. Never throws.
std::string stringValue(const std::string& xml, const std::string& key);

// The same for the property list file at path; "" also when it cannot be read.
std::string fileStringValue(const std::string& path, const std::string& key);

} // namespace InfoPlist

#endif // INFOPLIST_H
