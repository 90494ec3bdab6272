// Bundles: a folder with an information dictionary (Info.plist), resources and localized
// strings. A bundle folder holds Contents/Info.plist and Contents/Resources/, or, flat,
// Info.plist and Resources/ at its top.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFURL.h>

typedef struct __CFBundle* CFBundleRef;

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT CFTypeID CFBundleGetTypeID(void);
// Opens the bundle at bundleURL and registers it under its CFBundleIdentifier while it lives.
// Null when the folder or its Info.plist cannot be read or is malformed.
PLATFORM_EXPORT CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);
// A live bundle with that identifier, not owned by the caller, or null.
PLATFORM_EXPORT CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID);
PLATFORM_EXPORT CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);
PLATFORM_EXPORT CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);
PLATFORM_EXPORT CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
PLATFORM_EXPORT CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
PLATFORM_EXPORT CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);
// The file resourceName.resourceType (resourceType may be null when the name is complete) in
// the resources folder or subDirName within it, looked for first in the .lproj folders of the
// user's preferred languages, then of the development region, then unlocalized.
PLATFORM_EXPORT CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType,
    CFStringRef subDirName);
// The translation of key from tableName.strings (Localizable.strings when tableName is null)
// in the user's preferred language; value, or else the key itself, when there is none.
PLATFORM_EXPORT CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value, CFStringRef tableName);

// The bundle's code, Contents/MacOS/ and the name its CFBundleExecutable gives; loaded once and
// unloaded when the bundle goes.
PLATFORM_EXPORT CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
PLATFORM_EXPORT Boolean CFBundleLoadExecutable(CFBundleRef bundle);
PLATFORM_EXPORT Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle);
PLATFORM_EXPORT void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName);

PLATFORM_EXTERN_C_END
