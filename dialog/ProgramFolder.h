// Where the product's programs find what they load. Programs lie in bin/; the stand-in
// library, the plug-in bundles and the on-screen module lie in one folder of the product under
// lib/. Both are found from the running program's own path, in the build tree (which has the
// same layout) and in an installed tree wherever it was moved.
#pragma once

#include "DialogExport.h"

#include <string>

// The folder of the running program.
DIALOG_EXPORT std::string programFolder();
// The product's folder of loadable things, relative to programFolder().
DIALOG_EXPORT std::string productLibraryFolder();
