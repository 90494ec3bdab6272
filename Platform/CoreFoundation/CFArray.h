// Ordered collections of values, held through the callbacks given at creation.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef const struct __CFArray* CFArrayRef;
typedef struct __CFArray* CFMutableArrayRef;

typedef const void* (*CFArrayRetainCallBack)(CFAllocatorRef allocator, const void* value);
typedef void (*CFArrayReleaseCallBack)(CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFArrayCopyDescriptionCallBack)(const void* value);
typedef Boolean (*CFArrayEqualCallBack)(const void* value1, const void* value2);

struct CFArrayCallBacks {
    CFIndex version;
    CFArrayRetainCallBack retain;
    CFArrayReleaseCallBack release;
    CFArrayCopyDescriptionCallBack copyDescription;
    CFArrayEqualCallBack equal;
};
typedef struct CFArrayCallBacks CFArrayCallBacks;

typedef void (*CFArrayApplierFunction)(const void* value, void* context);

PLATFORM_EXTERN_C_BEGIN

// Retains what is added and releases what is removed; values are compared with CFEqual.
PLATFORM_EXPORT extern const CFArrayCallBacks kCFTypeArrayCallBacks;

PLATFORM_EXPORT CFTypeID CFArrayGetTypeID(void);
// Null callbacks hold raw pointers: never retained, released or compared but by address.
PLATFORM_EXPORT CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex numValues,
    const CFArrayCallBacks* callBacks);
// capacity 0 means unbounded; otherwise appending beyond it is refused.
PLATFORM_EXPORT CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef allocator, CFIndex capacity, const CFArrayCallBacks* callBacks);
PLATFORM_EXPORT CFIndex CFArrayGetCount(CFArrayRef theArray);
// Null for an index out of range.
PLATFORM_EXPORT const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx);
PLATFORM_EXPORT CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value);
PLATFORM_EXPORT void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier, void* context);
PLATFORM_EXPORT void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value);
PLATFORM_EXPORT void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value);
PLATFORM_EXPORT void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value);
PLATFORM_EXPORT void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx);
PLATFORM_EXPORT void CFArrayRemoveAllValues(CFMutableArrayRef theArray);

PLATFORM_EXTERN_C_END
