// Graphics importers: components that read an image file and draw it into a port.
#pragma once

#include <Files/Files.h>
#include <Graphics/QuickDraw.h>

typedef struct ComponentInstanceRecord* ComponentInstance;
typedef ComponentInstance GraphicsImportComponent;
typedef SInt32 ComponentResult;
typedef void* GDHandle;

enum {
    kDontUseValidateToFindGraphicsImporter = 1L << 0,
};

enum {
    noSuggestedImporterErr = -2050,
    invalidImageErr = -8969,
    badComponentInstance = (int)0x80008001,
};

PLATFORM_EXTERN_C_BEGIN

// An importer for a GIF or PNG file, chosen by the file's first bytes; null in *gi, and an
// error, for a file that is neither, cannot be read or has a malformed header. The image
// itself is decoded at the first draw and kept for the later ones.
PLATFORM_EXPORT OSErr GetGraphicsImporterForFileWithFlags(const FSSpec* theFile, ComponentInstance* gi, long flags);
PLATFORM_EXPORT OSErr CloseComponent(ComponentInstance aComponentInstance);
PLATFORM_EXPORT ComponentResult GraphicsImportSetGWorld(GraphicsImportComponent ci, CGrafPtr port, GDHandle gdh);
// (0, 0, height, width) of the image.
PLATFORM_EXPORT ComponentResult GraphicsImportGetNaturalBounds(GraphicsImportComponent ci, Rect* naturalBounds);
PLATFORM_EXPORT ComponentResult GraphicsImportSetDestRect(GraphicsImportComponent ci, const Rect* destRect);
// Draws the image into the port at the destination rectangle, scaled to it, blending by its
// transparency and clipped to the port.
PLATFORM_EXPORT ComponentResult GraphicsImportDraw(GraphicsImportComponent ci);

PLATFORM_EXTERN_C_END
