// Key-value collections, held through the callbacks given at creation.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFDictionary* CFMutableDictionaryRef;

typedef const void* (*CFDictionaryRetainCallBack)(CFAllocatorRef allocator, const void* value);
typedef void (*CFDictionaryReleaseCallBack)(CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFDictionaryCopyDescriptionCallBack)(const void* value);
typedef Boolean (*CFDictionaryEqualCallBack)(const void* value1, const void* value2);
typedef CFHashCode (*CFDictionaryHashCallBack)(const void* value);

struct CFDictionaryKeyCallBacks {
    CFIndex version;
    CFDictionaryRetainCallBack retain;
    CFDictionaryReleaseCallBack release;
    CFDictionaryCopyDescriptionCallBack copyDescription;
    CFDictionaryEqualCallBack equal;
    CFDictionaryHashCallBack hash;
};
typedef struct CFDictionaryKeyCallBacks CFDictionaryKeyCallBacks;

struct CFDictionaryValueCallBacks {
    CFIndex version;
    CFDictionaryRetainCallBack retain;
    CFDictionaryReleaseCallBack release;
    CFDictionaryCopyDescriptionCallBack copyDescription;
    CFDictionaryEqualCallBack equal;
};
typedef struct CFDictionaryValueCallBacks CFDictionaryValueCallBacks;

typedef void (*CFDictionaryApplierFunction)(const void* key, const void* value, void* context);

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
// Keys that are strings are copied rather than retained.
PLATFORM_EXPORT extern const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks;
PLATFORM_EXPORT extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

PLATFORM_EXPORT CFTypeID CFDictionaryGetTypeID(void);
// Null key or value callbacks hold raw pointers, compared by address, never retained or freed.
PLATFORM_EXPORT CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys, const void** values,
    CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks, const CFDictionaryValueCallBacks* valueCallBacks);
PLATFORM_EXPORT CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
    const CFDictionaryKeyCallBacks* keyCallBacks, const CFDictionaryValueCallBacks* valueCallBacks);
PLATFORM_EXPORT CFIndex CFDictionaryGetCount(CFDictionaryRef theDict);
PLATFORM_EXPORT const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key);
PLATFORM_EXPORT Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key, const void** value);
PLATFORM_EXPORT Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key);
// Keys and values in the order they were first added.
PLATFORM_EXPORT void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values);
PLATFORM_EXPORT void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier, void* context);
// Adds only when the key is absent.
PLATFORM_EXPORT void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value);
// Adds, or replaces the value of a present key.
PLATFORM_EXPORT void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value);
// Replaces only when the key is present.
PLATFORM_EXPORT void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void* key, const void* value);
PLATFORM_EXPORT void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key);
PLATFORM_EXPORT void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict);

PLATFORM_EXTERN_C_END
