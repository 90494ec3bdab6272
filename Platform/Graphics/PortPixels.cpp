#include <Graphics/QuickDrawPrivate.h>
#include <Graphics/QuickDrawStandIn.h>

bool StandIn::copyPortPixels(CGrafPtr portRef, std::vector<uint8_t>* rgba, int* width, int* height)
{
    QDPort* port = _QDPortFromRef(portRef);
    if (!port || !rgba || !width || !height)
        return false;
    rgba->resize(port->pixels.size() * 4);
    for (size_t i = 0; i < port->pixels.size(); ++i) {
        QDPixel pixel = port->directOf(port->pixels[i]);
        (*rgba)[i * 4] = QDPort::red(pixel);
        (*rgba)[i * 4 + 1] = QDPort::green(pixel);
        (*rgba)[i * 4 + 2] = QDPort::blue(pixel);
        (*rgba)[i * 4 + 3] = 0xFF;
    }
    *width = port->width;
    *height = port->height;
    return true;
}
