// Property lists on macOS: CoreFoundation reads them, as the system itself does.

#if __has_include(<CoreFoundation/CoreFoundation.h>)
#include <CoreFoundation/CoreFoundation.h>
#else
// The cross build has no SDK: the few CoreFoundation calls used here, as the SDK declares them.
extern "C" {
typedef const void* CFTypeRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFData* CFDataRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFError* CFErrorRef;
typedef CFTypeRef CFPropertyListRef;
typedef unsigned long CFTypeID;
typedef long CFIndex;
typedef unsigned long CFOptionFlags;
typedef CFIndex CFPropertyListFormat;
typedef unsigned int CFStringEncoding;
typedef unsigned char Boolean;
const CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;
const CFOptionFlags kCFPropertyListImmutable = 0;
CFDataRef CFDataCreate(CFAllocatorRef, const unsigned char*, CFIndex);
CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef, CFOptionFlags,
                                               CFPropertyListFormat*, CFErrorRef*);
CFTypeID CFGetTypeID(CFTypeRef);
CFTypeID CFDictionaryGetTypeID(void);
CFTypeID CFStringGetTypeID(void);
CFIndex CFDictionaryGetCount(CFDictionaryRef);
void CFDictionaryGetKeysAndValues(CFDictionaryRef, const void**, const void**);
CFIndex CFStringGetLength(CFStringRef);
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex, CFStringEncoding);
Boolean CFStringGetCString(CFStringRef, char*, CFIndex, CFStringEncoding);
void CFRelease(CFTypeRef);
}
#endif

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

InfoPlist InfoPlist::parse(const std::string& data) {
    InfoPlist result;
    if (data.empty() || data.size() > kMaxSize) {
        return result;
    }
    const CFDataRef bytes =
        CFDataCreate(nullptr, reinterpret_cast<const unsigned char*>(data.data()),
                     static_cast<CFIndex>(data.size()));
    if (!bytes) {
        return result;
    }
    const CFPropertyListRef root =
        CFPropertyListCreateWithData(nullptr, bytes, kCFPropertyListImmutable, nullptr, nullptr);
    CFRelease(bytes);
    if (!root) {
        return result;
    }
    if (isDictionary(root)) {
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
    }
    CFRelease(root);
    return result;
}
