// The folder printdialog runs from: the bundles and the on-screen module lie beside it.
#pragma once

#include <string>

std::string programFolder();
