// Ports: pixels in port coordinates, with the port's colours. Each window has one (the toolbox's
// GetWindowPort, in MacWindows.h); drawing goes to the current port.
#pragma once

#include <CoreFoundation/MacTypes.h>

typedef struct OpaqueGrafPtr* GrafPtr;
typedef GrafPtr CGrafPtr;

struct RGBColor {
    UInt16 red;
    UInt16 green;
    UInt16 blue;
};
typedef struct RGBColor RGBColor;

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT void GetPort(GrafPtr* port);
PLATFORM_EXPORT void SetPort(GrafPtr port);
PLATFORM_EXPORT void RGBForeColor(const RGBColor* color);
PLATFORM_EXPORT void RGBBackColor(const RGBColor* color);
// Drawing goes to the current port, clipped to its bounds; with no current port it does nothing.
PLATFORM_EXPORT void EraseRect(const Rect* r);
PLATFORM_EXPORT void PaintRect(const Rect* r);
PLATFORM_EXPORT void GetCPixel(SInt16 h, SInt16 v, RGBColor* cPix);

PLATFORM_EXTERN_C_END
