// The window of a queue whose printer asks for codes of its own (dialog/CodesForm.h), as the
// prompt of a job or as the queue's settings: one field per code, with its label, its bounds in
// words, and a line under it saying why what it holds will not do. Print or Save is enabled only
// while every field holds what it can keep.
#pragma once

#include "queues/CodesForm.h"

#include <string>

// Waits for the person's answer. Accepted fills form's values (and, in the settings, its check
// boxes) from the window; Cancelled leaves form as it was, with *error empty; Unanswered, with
// *error saying why, when there is no display.
CodesFormAnswer askCodes(CodesForm* form, std::string* error);

// A code's bounds as the window shows them: "4 to 8 digits", "up to 8 characters", "exactly 4
// digits", "one of the printer's listed codes".
std::string codeBoundsText(const PrinterCode& code);
