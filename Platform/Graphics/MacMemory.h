// Handles: relocatable blocks of memory, reached through a master pointer.
#pragma once

#include <CoreFoundation/MacTypes.h>

PLATFORM_EXTERN_C_BEGIN

// Null when the memory cannot be had (or size is negative).
PLATFORM_EXPORT Handle NewHandle(Size byteCount);
PLATFORM_EXPORT void DisposeHandle(Handle h);
PLATFORM_EXPORT Size GetHandleSize(Handle h);
PLATFORM_EXPORT void SetHandleSize(Handle h, Size newSize);
PLATFORM_EXPORT OSErr MemError(void);
PLATFORM_EXPORT void HLock(Handle h);
PLATFORM_EXPORT void HUnlock(Handle h);

PLATFORM_EXTERN_C_END
