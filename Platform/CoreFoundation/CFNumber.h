// Numbers of the C types, boxed as objects.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef const struct __CFNumber* CFNumberRef;

typedef enum {
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberCharType = 7,
    kCFNumberShortType = 8,
    kCFNumberIntType = 9,
    kCFNumberLongType = 10,
    kCFNumberLongLongType = 11,
    kCFNumberFloatType = 12,
    kCFNumberDoubleType = 13,
    kCFNumberCFIndexType = 14,
} CFNumberType;

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT CFTypeID CFNumberGetTypeID(void);
PLATFORM_EXPORT CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType theType, const void* valuePtr);
PLATFORM_EXPORT CFNumberType CFNumberGetType(CFNumberRef number);
PLATFORM_EXPORT Boolean CFNumberIsFloatType(CFNumberRef number);
// Writes the value converted to theType; false when the conversion lost anything (the value
// written is then the converted one, as far as it goes).
PLATFORM_EXPORT Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);

PLATFORM_EXTERN_C_END
