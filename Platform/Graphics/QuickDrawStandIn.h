// Stand-in only: a port's pixels written to a PNG file, for tests and for pictures of the
// dialog in the documentation.
#pragma once

#include <Graphics/QuickDraw.h>

#include <string>

// Writes the port as an RGB PNG; false, with *error saying why, when it cannot.
bool QDWritePortToPNG(CGrafPtr port, const std::string& path, std::string* error);
