// The one QApplication of the process, kept for its whole life: a program may take several
// pictures, and Qt allows one application only.
#pragma once

#include <string>

class QApplication;

// The status a program ends with when Qt cannot open the display it was given: the status of a
// program's errors.
constexpr int kScreenCannotOpenStatus = 2;

// The application, made on first use: on Qt's offscreen platform when offscreen is true, else on
// the display. Null, with the reason in *error, when there is no display to use; a display that
// is named and cannot be opened ends the process with kScreenCannotOpenStatus, since Qt cannot
// go on from there.
QApplication* screenApplication(bool offscreen, std::string* error);
