#include <Graphics/QuickDrawPrivate.h>

#include <algorithm>
#include <unordered_set>

namespace {

QDPort* gCurrentPort = nullptr;
std::unordered_set<QDPort*> gLivePorts;

QDPort* portFromRef(GrafPtr port)
{
    auto* candidate = reinterpret_cast<QDPort*>(port);
    return gLivePorts.count(candidate) ? candidate : nullptr;
}

}

QDPort::QDPort(int portWidth, int portHeight)
    : width(std::max(portWidth, 0))
    , height(std::max(portHeight, 0))
    , pixels(static_cast<size_t>(width) * height, backColor)
{
    gLivePorts.insert(this);
}

QDPort::~QDPort()
{
    gLivePorts.erase(this);
    if (gCurrentPort == this)
        gCurrentPort = nullptr;
}

void QDPort::fill(const Rect& r, const RGBColor& color)
{
    int top = std::max<int>(r.top, 0);
    int left = std::max<int>(r.left, 0);
    int bottom = std::min<int>(r.bottom, height);
    int right = std::min<int>(r.right, width);
    if (left >= right)
        return;
    for (int v = top; v < bottom; ++v)
        std::fill(pixels.begin() + static_cast<size_t>(v) * width + left, pixels.begin() + static_cast<size_t>(v) * width + right, color);
}

void GetPort(GrafPtr* port)
{
    if (port)
        *port = _QDRefFromPort(gCurrentPort);
}

void SetPort(GrafPtr port)
{
    gCurrentPort = portFromRef(port);
}

void SetPortWindowPort(WindowRef window)
{
    SetPort(GetWindowPort(window));
}

void RGBForeColor(const RGBColor* color)
{
    if (gCurrentPort && color)
        gCurrentPort->foreColor = *color;
}

void RGBBackColor(const RGBColor* color)
{
    if (gCurrentPort && color)
        gCurrentPort->backColor = *color;
}

void EraseRect(const Rect* r)
{
    if (gCurrentPort && r)
        gCurrentPort->fill(*r, gCurrentPort->backColor);
}

void PaintRect(const Rect* r)
{
    if (gCurrentPort && r)
        gCurrentPort->fill(*r, gCurrentPort->foreColor);
}

void GetCPixel(SInt16 h, SInt16 v, RGBColor* cPix)
{
    if (!gCurrentPort || !cPix || h < 0 || v < 0 || h >= gCurrentPort->width || v >= gCurrentPort->height)
        return;
    *cPix = gCurrentPort->pixels[static_cast<size_t>(v) * gCurrentPort->width + h];
}
