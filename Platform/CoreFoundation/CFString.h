// Immutable Unicode strings, held as UTF-16 code units.
#pragma once

#include <CoreFoundation/CFBase.h>

#include <stdarg.h>

typedef UInt32 CFStringEncoding;

enum {
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingISOLatin1 = 0x0201,
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUTF8 = 0x08000100,
    kCFStringEncodingUTF16 = 0x0100,
    kCFStringEncodingUTF16BE = 0x10000100,
    kCFStringEncodingUTF16LE = 0x14000100,
    kCFStringEncodingInvalidId = 0xffffffffU,
};

typedef const struct __CFDictionary* CFDictionaryRef;

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT CFTypeID CFStringGetTypeID(void);

// Null when the bytes are not valid in the encoding, or the encoding is not one of those above
// (MacRoman is not supported).
PLATFORM_EXPORT CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
PLATFORM_EXPORT CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
    CFStringEncoding encoding, Boolean isExternalRepresentation);
PLATFORM_EXPORT CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars, CFIndex numChars);
PLATFORM_EXPORT CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString);
// printf-style formatting; %@ inserts the description of an object (a string's own text).
PLATFORM_EXPORT CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...);
PLATFORM_EXPORT CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
    CFStringRef format, va_list arguments);

PLATFORM_EXPORT CFIndex CFStringGetLength(CFStringRef theString);
PLATFORM_EXPORT UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx);
PLATFORM_EXPORT void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer);
// False, with the buffer left alone, when the text cannot be represented in the encoding or
// does not fit in bufferSize bytes together with its terminating NUL.
PLATFORM_EXPORT Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
PLATFORM_EXPORT CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
PLATFORM_EXPORT CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2, CFOptionFlags compareOptions);
PLATFORM_EXPORT CFStringEncoding CFStringGetSystemEncoding(void);

PLATFORM_EXPORT CFStringRef __CFStringMakeConstantString(const char* cStr);

PLATFORM_EXTERN_C_END

#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")
