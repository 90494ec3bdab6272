// What a print on a queue whose printer asks for codes of its own goes with, decided alike in the
// agent and in printdialog from the queue's stored settings: nothing (accounting off), the stored
// codes, or the codes window.
#pragma once

#include "queues/CodesForm.h"

class QueueSettings;

enum class CodesAtPrint {
    AsItCame, // accounting off: no code at all
    Stored, // the stored codes, complete and each a value its code allows, in form's fields
    Ask, // the window, its fields holding what is stored where the settings send stored codes
    TooMany, // more codes than a window holds (tooManyCodes): the print cannot go, nothing is asked
};
// Fills form's fields (one per code) and whether they are concealed; the caller names the
// document and the queue. With TooMany, form is left as it was.
PROGRAMS_EXPORT CodesAtPrint codesAtPrint(const PrinterCodes& codes, const QueueSettings& settings, CodesForm* form);
