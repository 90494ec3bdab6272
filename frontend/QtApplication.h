// The one QApplication of the process, kept for its whole life: a program may take several
// pictures, and Qt allows one application only.
#pragma once

#include <string>

class QApplication;

// The application, made on first use: on Qt's offscreen platform when offscreen is true, else on
// the display. Null, with the reason in *error, when there is no display to use.
QApplication* screenApplication(bool offscreen, std::string* error);
