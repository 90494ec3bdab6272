// printdialog: the Print dialog of a printing system, with the Accounting pane, driven by a
// script of user actions or by a person on screen, for one print.
#pragma once

#include "printdialog/CommandLine.h"

#include <ostream>

enum PrintDialogExit {
    kExitPrinted = 0,
    kExitNotPrinted = 1,
    kExitError = 2,
};

// Runs the dialog; the transcript goes to out, errors to err. Returns a PrintDialogExit.
int runPrintDialog(const PrintDialogOptions& options, std::ostream& out, std::ostream& err);
