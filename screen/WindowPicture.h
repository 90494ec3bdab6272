// Pictures of toolbox windows as a person would see them, rendered on Qt's offscreen platform,
// so that no display is needed.
#pragma once

#include <HIToolbox/HIToolbox.h>

#include <string>

// Writes a PNG picture of the window's mirror; false, with the reason in *error, when it cannot.
bool snapshotWindow(WindowRef window, const std::string& path, std::string* error);
