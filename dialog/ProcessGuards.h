// What a program that holds the user's codes does before anything else. printdialog calls it
// first thing, and so does any other program that runs the pane or sends its codes.
#pragma once

#include "DialogExport.h"

#include <string>

// Keeps the codes out of core files: no core dump however the process ends, and the process
// is not dumpable, so that no other process of the same user can read its memory (ptrace,
// /proc/PID/mem) either. False, with the reason in *error, when the system refuses.
DIALOG_EXPORT bool forbidCoreDumps(std::string* error);

// A write that the system refuses (beyond a file-size limit, into a closed pipe or connection)
// fails with an error that the caller reports and cleans up after, instead of killing the
// process halfway through a save and leaving a partial file with the codes behind.
DIALOG_EXPORT void makeRefusedWritesErrors();
