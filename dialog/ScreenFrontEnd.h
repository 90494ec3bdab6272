// The on-screen front end: a module of its own (libPrintDialogScreen.so in the product's folder),
// built on Qt Widgets and loaded only when the dialog goes on screen or a picture is taken,
// so that a scripted run loads no GUI toolkit.
#pragma once

#include "DialogExport.h"

#include <HIToolbox/HIToolbox.h>

#include <string>

class PrintDialog;

struct ScreenFrontEnd {
    // Writes a PNG picture of window, as a person would see it, rendered without a display.
    bool (*snapshot)(WindowRef window, const std::string& path, std::string* error);
    // Puts the dialog on screen and lets the person act on it until the job goes on or the
    // dialog is cancelled or closed. Returns true when the job went on.
    bool (*runOnScreen)(PrintDialog& dialog, std::string* error);
};

// Exported by the module under this name.
#define kScreenFrontEndEntryPoint "PrintDialogScreenFrontEnd"
typedef const ScreenFrontEnd* (*ScreenFrontEndEntryPoint)();

// Loads the module from the product's folder; null, with the reason in *error, when it cannot.
DIALOG_EXPORT const ScreenFrontEnd* loadScreenFrontEnd(std::string* error);
