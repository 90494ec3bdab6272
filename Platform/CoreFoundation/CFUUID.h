// UUIDs: 128-bit identifiers, compared by value.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef const struct __CFUUID* CFUUIDRef;

struct CFUUIDBytes {
    UInt8 byte0, byte1, byte2, byte3, byte4, byte5, byte6, byte7;
    UInt8 byte8, byte9, byte10, byte11, byte12, byte13, byte14, byte15;
};
typedef struct CFUUIDBytes CFUUIDBytes;

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT CFTypeID CFUUIDGetTypeID(void);
// From the text form "68753A44-4D6F-1226-9C60-0050E4C00067" (either case); null when malformed.
PLATFORM_EXPORT CFUUIDRef CFUUIDCreateFromString(CFAllocatorRef alloc, CFStringRef uuidStr);
PLATFORM_EXPORT CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef alloc, CFUUIDBytes bytes);
// One object per value, made once and never freed: not to be released.
PLATFORM_EXPORT CFUUIDRef CFUUIDGetConstantUUIDWithBytes(CFAllocatorRef alloc, UInt8 byte0, UInt8 byte1, UInt8 byte2,
    UInt8 byte3, UInt8 byte4, UInt8 byte5, UInt8 byte6, UInt8 byte7, UInt8 byte8, UInt8 byte9, UInt8 byte10, UInt8 byte11,
    UInt8 byte12, UInt8 byte13, UInt8 byte14, UInt8 byte15);
PLATFORM_EXPORT CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid);
// The text form in upper case.
PLATFORM_EXPORT CFStringRef CFUUIDCreateString(CFAllocatorRef alloc, CFUUIDRef uuid);

PLATFORM_EXTERN_C_END
