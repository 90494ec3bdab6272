// Bundles that tests open by path, as the printing system opens its plug-ins.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

// The bundle at path, or null; the caller releases it.
CFBundleRef openBundleAt(const std::string& path);
