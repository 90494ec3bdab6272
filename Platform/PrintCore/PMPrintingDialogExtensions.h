// Types that the printing system and a print-dialog extension share.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

// The extension's own context; an address, so pointer-sized on this 64-bit build.
typedef void* PMPDEContext;
typedef UInt32 PMPDEFlags;
typedef void* PMPDERef;
