// The actions of a script and what each does, as the person at the keyboard does it: the table
// of their names and words, and each action's own steps. The script runner reads the lines and
// hands each one here; another program that plays a dialog can hand its lines here as well.
#pragma once

#include "program/ProgramsExport.h"
#include "dialog/PrintDialog.h"
#include "dialog/ScriptLine.h"
#include "dialog/Transcript.h"

#include <string>

// How the dialog ended, as far as the script took it.
enum class DialogOutcome {
    Printed,
    Cancelled,
    Forgotten, // a queue's settings window's Forget

    LeftOpen,
    Failed,
};

// Whether the print action writes "printed" when the job goes on, or leaves the line to
// whoever submits the job and can say more ("printed job N").
enum class PrintedLine {
    Written,
    LeftToSubmitter,
};

// What the actions act on and tell of.
struct ScriptScene {
    PrintDialog& dialog;
    Transcript& transcript;
    // The prompt while it is up: the numbers name its controls, and the dialog behind it takes
    // no action.
    WindowRef prompt;
    PrintedLine printedLine;
    // A failure of a line played inside the Print click (the prompt's lines): when there is one
    // after the click, it is the failure to report, not the click's.
    const std::string& failureInsideClick;
    // Set when print, cancel or forget ends the dialog.
    DialogOutcome& outcome;
};

// Carries out the line's action. False, with the reason in *error, for an unknown action, the
// wrong number of words, or anything a person could not do; the reason never repeats a word of
// the line beyond a known action's name, since a word in the wrong place may be a code.
PROGRAMS_EXPORT bool performScriptAction(ScriptScene& scene, const ScriptLine& line, std::string* error);
