// Window ports: the pixels of each window, in window coordinates, with the port's colours.
#pragma once

#include <HIToolbox/MacWindows.h>

typedef struct OpaqueGrafPtr* GrafPtr;
typedef GrafPtr CGrafPtr;

struct RGBColor {
    UInt16 red;
    UInt16 green;
    UInt16 blue;
};
typedef struct RGBColor RGBColor;

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT CGrafPtr GetWindowPort(WindowRef window);
PLATFORM_EXPORT void GetPort(GrafPtr* port);
PLATFORM_EXPORT void SetPort(GrafPtr port);
PLATFORM_EXPORT void SetPortWindowPort(WindowRef window);
PLATFORM_EXPORT void RGBForeColor(const RGBColor* color);
PLATFORM_EXPORT void RGBBackColor(const RGBColor* color);
// Drawing goes to the current port, clipped to its bounds; with no current port it does nothing.
PLATFORM_EXPORT void EraseRect(const Rect* r);
PLATFORM_EXPORT void PaintRect(const Rect* r);
PLATFORM_EXPORT void GetCPixel(SInt16 h, SInt16 v, RGBColor* cPix);

PLATFORM_EXTERN_C_END
