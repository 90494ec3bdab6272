// Plug-ins: bundles whose Info.plist lists factories (CFPlugInFactories: factory UUID ->
// function name) and the types they make (CFPlugInTypes: type UUID -> factory UUIDs).
#pragma once

#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFPlugInCOM.h>
#include <CoreFoundation/CFUUID.h>

typedef struct __CFBundle* CFPlugInRef;
typedef void* (*CFPlugInFactoryFunction)(CFAllocatorRef allocator, CFUUIDRef typeUUID);

PLATFORM_EXTERN_C_BEGIN

// Opens the plug-in bundle; its factories are known while it lives.
PLATFORM_EXPORT CFPlugInRef CFPlugInCreate(CFAllocatorRef allocator, CFURLRef plugInURL);
// The factories of the plug-in that make typeUUID, as UUIDs; the caller releases the array.
PLATFORM_EXPORT CFArrayRef CFPlugInFindFactoriesForPlugInTypeInPlugIn(CFUUIDRef typeUUID, CFPlugInRef plugIn);
// Loads the code of the plug-in that has the factory and calls the factory function with
// typeUUID; null when no live plug-in has it or its code or function cannot be loaded.
PLATFORM_EXPORT void* CFPlugInInstanceCreate(CFAllocatorRef allocator, CFUUIDRef factoryUUID, CFUUIDRef typeUUID);
// Instances register and unregister themselves for their factory.
PLATFORM_EXPORT void CFPlugInAddInstanceForFactory(CFUUIDRef factoryID);
PLATFORM_EXPORT void CFPlugInRemoveInstanceForFactory(CFUUIDRef factoryID);

PLATFORM_EXTERN_C_END
