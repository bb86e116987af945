// The cross build has no SDK: the CoreFoundation declarations that the check uses, as the SDK
// declares them. A build on a Mac takes the SDK's own header instead.
#ifndef COREFOUNDATION_STUB_H
#define COREFOUNDATION_STUB_H

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

#endif // COREFOUNDATION_STUB_H
