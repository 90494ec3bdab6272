// Icon services: icon family files ('icns') and the icon references made from them.
#pragma once

#include <Files/Files.h>
#include <Graphics/MacMemory.h>

typedef struct OpaqueIconRef* IconRef;
typedef struct IconFamilyResource IconFamilyResource;
typedef IconFamilyResource** IconFamilyHandle;

enum {
    invalidIconRefErr = -2580,
    noMaskFoundErr = -1000,
};

PLATFORM_EXTERN_C_BEGIN

// Reads the icon family file into *iconFamily: into the handle it already holds (resized), or a
// new handle when it holds none. A file that is not a well-formed icon family is refused.
PLATFORM_EXPORT OSErr ReadIconFile(const FSSpec* iconFile, IconFamilyHandle* iconFamily);
// An icon reference from icon family data; null in *iconRef, and an error, for malformed data.
PLATFORM_EXPORT OSErr GetIconRefFromIconFamilyPtr(const IconFamilyResource* iconFamPtr, Size iconFamSize, IconRef* iconRef);
PLATFORM_EXPORT OSErr ReleaseIconRef(IconRef theIconRef);

PLATFORM_EXTERN_C_END
