// File URLs. A relative path is resolved against the current directory when the URL is made;
// URLs for the same path (however spelled: doubled slashes, ".", a trailing slash) are CFEqual.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef const struct __CFURL* CFURLRef;

typedef enum {
    kCFURLPOSIXPathStyle = 0,
} CFURLPathStyle;

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT CFTypeID CFURLGetTypeID(void);
PLATFORM_EXPORT CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef filePath, CFURLPathStyle pathStyle,
    Boolean isDirectory);
PLATFORM_EXPORT CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef allocator, const UInt8* buffer, CFIndex bufLen,
    Boolean isDirectory);
PLATFORM_EXPORT CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle);
// The path as NUL-terminated bytes; false when it does not fit in maxBufLen.
PLATFORM_EXPORT Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer, CFIndex maxBufLen);

PLATFORM_EXTERN_C_END
