// The one QApplication of the process, kept for its whole life (printdialog may take several
// pictures, and Qt allows one application only), and pictures of windows taken without a display.
#pragma once

#include <HIToolbox/HIToolbox.h>

#include <string>

class QApplication;

// The application, made on first use: on Qt's offscreen platform when offscreen is true, else on
// the display. Null, with the reason in *error, when there is no display to use.
QApplication* screenApplication(bool offscreen, std::string* error);

// Writes a PNG picture of the window's mirror; false, with the reason in *error, when it cannot.
bool snapshotWindow(WindowRef window, const std::string& path, std::string* error);
