// Reference-counted objects: the base of every CoreFoundation type.
#pragma once

#include <CoreFoundation/MacTypes.h>

typedef const void* CFTypeRef;
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef long CFIndex;

typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;

#define kCFAllocatorDefault ((CFAllocatorRef)0)
#define kCFAllocatorSystemDefault ((CFAllocatorRef)0)

struct CFRange {
    CFIndex location;
    CFIndex length;
};
typedef struct CFRange CFRange;

static inline CFRange CFRangeMake(CFIndex location, CFIndex length)
{
    CFRange range = { location, length };
    return range;
}

typedef enum {
    kCFCompareLessThan = -1,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1,
} CFComparisonResult;

enum { kCFNotFound = -1 };

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT CFTypeRef CFRetain(CFTypeRef cf);
PLATFORM_EXPORT void CFRelease(CFTypeRef cf);
PLATFORM_EXPORT CFIndex CFGetRetainCount(CFTypeRef cf);
PLATFORM_EXPORT CFTypeID CFGetTypeID(CFTypeRef cf);
PLATFORM_EXPORT Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
PLATFORM_EXPORT CFHashCode CFHash(CFTypeRef cf);
PLATFORM_EXPORT CFStringRef CFCopyDescription(CFTypeRef cf);
PLATFORM_EXPORT CFStringRef CFCopyTypeIDDescription(CFTypeID typeID);

PLATFORM_EXTERN_C_END
