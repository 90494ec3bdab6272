// Inside the stand-in: the pixel buffer behind a window port.
#pragma once

#include <Graphics/QuickDraw.h>

#include <cstdint>
#include <memory>
#include <vector>

// A port pixel, 32 bits so that erasing and drawing images move few bytes. Images only ever
// hold 8-bit channels, so a colour whose channels are each a multiple of 257 (8 bits widened)
// is stored directly, red in the low byte; any other colour painted keeps its 16 bits in a
// table of the port, and the pixel names its entry.
typedef uint32_t QDPixel;

struct QDPort {
    QDPort(int portWidth, int portHeight);
    ~QDPort();

    QDPort(const QDPort&) = delete;
    QDPort& operator=(const QDPort&) = delete;

    // Fills r, clipped to the port, with one colour.
    void fill(const Rect& r, const RGBColor& color);
    // Takes the new size: what lies in both sizes keeps its pixels, the rest is the background.
    void resize(int portWidth, int portHeight);

    static constexpr QDPixel directPixel(uint8_t red, uint8_t green, uint8_t blue)
    {
        return QDPixel { red } | QDPixel { green } << 8 | QDPixel { blue } << 16;
    }
    static constexpr bool isDirect(QDPixel pixel) { return !(pixel & kTablePixel); }
    static constexpr uint8_t red(QDPixel direct) { return static_cast<uint8_t>(direct); }
    static constexpr uint8_t green(QDPixel direct) { return static_cast<uint8_t>(direct >> 8); }
    static constexpr uint8_t blue(QDPixel direct) { return static_cast<uint8_t>(direct >> 16); }

    // The pixel for a colour, adding it to the table when it needs 16 bits.
    QDPixel pixelFor(const RGBColor& color);
    RGBColor colorOf(QDPixel pixel) const;
    // The pixel as 8-bit channels (a table colour rounded), for blending and for writing out.
    QDPixel directOf(QDPixel pixel) const;

    int width;
    int height;
    RGBColor foreColor { 0, 0, 0 };
    RGBColor backColor { 0xFFFF, 0xFFFF, 0xFFFF };
    std::vector<QDPixel> pixels;

private:
    static constexpr QDPixel kTablePixel = 0x80000000u;

    std::vector<RGBColor> m_exactColors;
};

inline GrafPtr _QDRefFromPort(QDPort* port)
{
    return reinterpret_cast<GrafPtr>(port);
}

// The live port behind port, or null: a port kept by another object (an importer) may have
// gone with its window since.
QDPort* _QDPortFromRef(GrafPtr port);
