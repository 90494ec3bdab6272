#include <Graphics/QuickDrawPrivate.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace {

QDPort* gCurrentPort = nullptr;
std::unordered_set<QDPort*> gLivePorts;
// Drawing checks the same port several times over; the last one found is remembered until it goes.
QDPort* gLastFound = nullptr;

QDPort* portFromRef(GrafPtr port)
{
    auto* candidate = reinterpret_cast<QDPort*>(port);
    if (candidate && candidate == gLastFound)
        return candidate;
    if (!gLivePorts.count(candidate))
        return nullptr;
    return gLastFound = candidate;
}

}

QDPort* _QDPortFromRef(GrafPtr port)
{
    return portFromRef(port);
}

QDPort::QDPort(int portWidth, int portHeight)
    : width(std::max(portWidth, 0))
    , height(std::max(portHeight, 0))
    , pixels(static_cast<size_t>(width) * height, directPixel(0xFF, 0xFF, 0xFF)) // the background, white
{
    gLivePorts.insert(this);
}

void QDPort::resize(int portWidth, int portHeight)
{
    portWidth = std::max(portWidth, 0);
    portHeight = std::max(portHeight, 0);
    std::vector<QDPixel> resized(static_cast<size_t>(portWidth) * portHeight, directPixel(0xFF, 0xFF, 0xFF));
    for (int y = 0; y < std::min(height, portHeight); ++y)
        std::copy_n(pixels.begin() + static_cast<ptrdiff_t>(y) * width, std::min(width, portWidth), resized.begin() + static_cast<ptrdiff_t>(y) * portWidth);
    pixels = std::move(resized);
    width = portWidth;
    height = portHeight;
}

QDPort::~QDPort()
{
    gLivePorts.erase(this);
    if (gLastFound == this)
        gLastFound = nullptr;
    if (gCurrentPort == this)
        gCurrentPort = nullptr;
}

namespace {

// Past this many distinct 16-bit colours in one port, further ones are rounded to 8 bits: a
// port that keeps painting new shades is not a case worth unbounded memory.
constexpr size_t kMaxExactColors = 4096;

uint8_t narrowChannel(UInt16 channel)
{
    return static_cast<uint8_t>((channel * 255u + 32767u) / 65535u);
}

}

QDPixel QDPort::pixelFor(const RGBColor& color)
{
    if (color.red % 257 == 0 && color.green % 257 == 0 && color.blue % 257 == 0)
        return directPixel(static_cast<uint8_t>(color.red / 257), static_cast<uint8_t>(color.green / 257), static_cast<uint8_t>(color.blue / 257));
    for (size_t i = 0; i < m_exactColors.size(); ++i) {
        const RGBColor& known = m_exactColors[i];
        if (known.red == color.red && known.green == color.green && known.blue == color.blue)
            return kTablePixel | static_cast<QDPixel>(i);
    }
    if (m_exactColors.size() >= kMaxExactColors)
        return directPixel(narrowChannel(color.red), narrowChannel(color.green), narrowChannel(color.blue));
    m_exactColors.push_back(color);
    return kTablePixel | static_cast<QDPixel>(m_exactColors.size() - 1);
}

RGBColor QDPort::colorOf(QDPixel pixel) const
{
    if (!isDirect(pixel))
        return m_exactColors[pixel & ~kTablePixel];
    return { static_cast<UInt16>(red(pixel) * 257), static_cast<UInt16>(green(pixel) * 257), static_cast<UInt16>(blue(pixel) * 257) };
}

QDPixel QDPort::directOf(QDPixel pixel) const
{
    if (isDirect(pixel))
        return pixel;
    const RGBColor& color = m_exactColors[pixel & ~kTablePixel];
    return directPixel(narrowChannel(color.red), narrowChannel(color.green), narrowChannel(color.blue));
}

void QDPort::fill(const Rect& r, const RGBColor& color)
{
    int top = std::max<int>(r.top, 0);
    int left = std::max<int>(r.left, 0);
    int bottom = std::min<int>(r.bottom, height);
    int right = std::min<int>(r.right, width);
    if (left >= right || top >= bottom)
        return;
    // One row filled and copied to the others: the library's copy is vectorised where a plain
    // fill loop at -O2 is not (four times slower), and windows are erased at every draw.
    QDPixel* first = pixels.data() + static_cast<size_t>(top) * width + left;
    std::fill(first, first + (right - left), pixelFor(color));
    for (int v = top + 1; v < bottom; ++v)
        memcpy(pixels.data() + static_cast<size_t>(v) * width + left, first, static_cast<size_t>(right - left) * sizeof(QDPixel));
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
    *cPix = gCurrentPort->colorOf(gCurrentPort->pixels[static_cast<size_t>(v) * gCurrentPort->width + h]);
}
