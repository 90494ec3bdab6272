// A window's controls as the programs that play the printing system find them: by the number
// that scripts and the screen call the pane's and the prompt's controls by, by command, or all
// of them in order; and a field made ready for keys.
#pragma once

#include "program/ProgramsExport.h"

#include <HIToolbox/HIToolbox.h>

#include <functional>
#include <string>

// The pane's and the prompt's controls carry this signature beside their number.
enum : OSType { kPaneControlSignature = 'MVRa' };
// The prompt's Cancel button; its Help button has no number, only its command.
enum : SInt32 { kPromptCancelButton = 1001 };
enum : UInt32 { kPromptHelpCommand = 'Mhlp' };
// A queue's settings window's own: the line that says where the default codes are kept, and the
// check box that keeps them in the queue's file.
enum : SInt32 {
    kCodesKeepingLine = 2000,
    kCodesInFileBox = 2001,
};

// A control whose text the program made printable already (PrintableText.h), as text from
// outside that it shows: what shows that text (a transcript's dump) does not escape it again.
PROGRAMS_EXPORT void markTextPrintable(ControlRef control);
bool textIsPrintable(ControlRef control);

// The window's control of that number, or null.
PROGRAMS_EXPORT ControlRef findControlByNumber(WindowRef window, SInt32 number);
// The window's first control, in the order of forEachControl, with that command, or null.
ControlRef findControlByCommand(WindowRef window, UInt32 command);
// Every control of the window, each before the controls embedded in it.
void forEachControl(WindowRef window, const std::function<void(ControlRef)>& visit);
// Gives the field the keyboard focus as a person does, by clicking into it, unless it has the
// focus already. False, with the reason in *error (when error is given), when the click is refused.
PROGRAMS_EXPORT bool clickIntoField(ControlRef field, std::string* error);
// The bytes of a control's text data (kControlEditTextTextTag, kControlEditTextPasswordTag, ...);
// empty when it has none.
PROGRAMS_EXPORT std::string controlText(ControlRef control, ControlDataTag tag);
