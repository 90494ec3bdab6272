// Interface definitions: named windows with their controls, loaded from a bundle's resources.
// The file format is described in InterfaceDefinitionFormat.md beside the loader.
#pragma once

#include <HIToolbox/MacWindows.h>

typedef struct OpaqueIBNibRef* IBNibRef;

enum {
    kIBCarbonRuntimeCantFindNibFile = -10960,
    kIBCarbonRuntimeObjectNotOfRequestedType = -10961,
    kIBCarbonRuntimeCantFindObject = -10962,
    kIBCarbonRuntimeMalformedNibFile = -10963,
};

PLATFORM_EXTERN_C_BEGIN

// Reads inNibName.nib from the bundle's resources (localized folders first). A missing file is
// kIBCarbonRuntimeCantFindNibFile; a malformed one kIBCarbonRuntimeMalformedNibFile.
PLATFORM_EXPORT OSStatus CreateNibReferenceWithCFBundle(CFBundleRef inBundle, CFStringRef inNibName, IBNibRef* outNibRef);
// A new, hidden window built from the definition named inName; kIBCarbonRuntimeCantFindObject
// when the file defines no such window.
PLATFORM_EXPORT OSStatus CreateWindowFromNib(IBNibRef inNibRef, CFStringRef inName, WindowRef* outWindow);
PLATFORM_EXPORT void DisposeNibReference(IBNibRef inNibToDispose);

PLATFORM_EXTERN_C_END
