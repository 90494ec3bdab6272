// Stand-in only: a port's pixels for the screen and for pictures of the dialog, and a port
// written to a PNG file, for tests and for pictures in the documentation.
#pragma once

#include <Graphics/QuickDraw.h>

#include <cstdint>
#include <string>
#include <vector>

// Writes the port as an RGB PNG; false, with *error saying why, when it cannot.
bool QDWritePortToPNG(CGrafPtr port, const std::string& path, std::string* error);

// The port's pixels as 8-bit RGBA rows, top to bottom; false for a port that is not live.
bool QDCopyPortPixels(CGrafPtr port, std::vector<uint8_t>* rgba, int* width, int* height);
