// Stand-in only: a port's pixels, for the screen module and its pictures of the dialog.
#pragma once

#include <Graphics/QuickDraw.h>

#include <cstdint>
#include <vector>

namespace StandIn {

// The port's pixels as 8-bit RGBA rows, top to bottom; false for a port that is not live.
PLATFORM_EXPORT bool copyPortPixels(CGrafPtr port, std::vector<uint8_t>* rgba, int* width, int* height);

}
