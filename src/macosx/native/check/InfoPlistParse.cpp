// Property lists on macOS: CoreFoundation reads them, as the system itself does.

#include <CoreFoundation/CoreFoundation.h>

#include <vector>

#include "InfoPlist.h"

namespace {

bool isString(CFTypeRef v) {
    return v && CFGetTypeID(v) == CFStringGetTypeID();
}
bool isDictionary(CFTypeRef v) {
    return v && CFGetTypeID(v) == CFDictionaryGetTypeID();
}

std::string textOf(CFTypeRef v) {
    const CFStringRef s = static_cast<CFStringRef>(v);
    std::vector<char> buffer(static_cast<size_t>(CFStringGetMaximumSizeForEncoding(
                                 CFStringGetLength(s), kCFStringEncodingUTF8)) +
                             1);
    if (!CFStringGetCString(s, buffer.data(), static_cast<CFIndex>(buffer.size()),
                            kCFStringEncodingUTF8)) {
        return std::string();
    }
    return std::string(buffer.data());
}

// Calls f(key, value) for every entry of dict whose key is a string.
template <class F> void forEachEntry(CFTypeRef dict, F f) {
    const CFDictionaryRef d = static_cast<CFDictionaryRef>(dict);
    const size_t count = static_cast<size_t>(CFDictionaryGetCount(d));
    std::vector<const void*> keys(count), values(count);
    CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
    for (size_t i = 0; i != count; ++i) {
        if (isString(keys[i])) {
            f(textOf(keys[i]), static_cast<CFTypeRef>(values[i]));
        }
    }
}

} // namespace

InfoPlist InfoPlist::parseBounded(const std::string& data) {
    InfoPlist result;
    const CFDataRef bytes =
        CFDataCreate(nullptr, reinterpret_cast<const unsigned char*>(data.data()),
                     static_cast<CFIndex>(data.size()));
    if (!bytes) {
        return result;
    }
    const CFPropertyListRef root =
        CFPropertyListCreateWithData(nullptr, bytes, kCFPropertyListImmutable, nullptr, nullptr);
    CFRelease(bytes);
    if (!root || !isDictionary(root)) {
        result.error = root ? "its top level is no dictionary" : "it is no property list";
        if (root) {
            CFRelease(root);
        }
        return result;
    }
    forEachEntry(root, [&](const std::string& key, CFTypeRef value) {
        if (isString(value)) {
            result.strings[key] = textOf(value);
        } else if (isDictionary(value)) {
            std::map<std::string, std::string>& dict = result.dictionaries[key];
            forEachEntry(value, [&](const std::string& name, CFTypeRef entry) {
                if (isString(entry)) {
                    dict[name] = textOf(entry);
                }
            });
        }
    });
    CFRelease(root);
    return result;
}
