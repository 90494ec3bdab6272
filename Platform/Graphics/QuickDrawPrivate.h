// Inside the stand-in: the pixel buffer behind a window port.
#pragma once

#include <Graphics/QuickDraw.h>

#include <memory>
#include <vector>

struct QDPort {
    QDPort(int portWidth, int portHeight);
    ~QDPort();

    QDPort(const QDPort&) = delete;
    QDPort& operator=(const QDPort&) = delete;

    // Fills r, clipped to the port, with one colour.
    void fill(const Rect& r, const RGBColor& color);

    int width;
    int height;
    RGBColor foreColor { 0, 0, 0 };
    RGBColor backColor { 0xFFFF, 0xFFFF, 0xFFFF };
    std::vector<RGBColor> pixels;
};

inline GrafPtr _QDRefFromPort(QDPort* port)
{
    return reinterpret_cast<GrafPtr>(port);
}
