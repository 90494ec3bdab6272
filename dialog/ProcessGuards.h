// What a program that holds the user's codes does before anything else. printdialog calls it
// first thing, and so does any other program that runs the pane or sends its codes.
#pragma once

#include "DialogExport.h"

#include <csignal>
#include <string>

// Keeps the codes out of core files: no core dump however the process ends, and the process
// is not dumpable, so that no other process of the same user can read its memory (ptrace,
// /proc/PID/mem) either. False, with the reason in *error, when the system refuses.
DIALOG_EXPORT bool forbidCoreDumps(std::string* error);

// A write that the system refuses (beyond a file-size limit, into a closed pipe or connection)
// fails with an error that the caller reports and cleans up after, instead of killing the
// process halfway through a save and leaving a partial file with the codes behind.
DIALOG_EXPORT void makeRefusedWritesErrors();

// Ctrl-C, SIGTERM or SIGHUP while a job is half made (created on the server, its document not all
// sent) would leave the job, which holds the codes, on the server. For the guard's life they ask
// the work to stop instead (interruptionRequested()), so that it can take the job back; at its
// end the guard restores what they did before and, when one came, raises it again, so that the
// program ends as the signal asked. A second signal ends the program at once, and a signal that
// the program ignores stays ignored.
class DIALOG_EXPORT InterruptionGuard {
public:
    InterruptionGuard();
    ~InterruptionGuard();
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;

private:
    struct sigaction m_previous[3];
};

// Whether a signal that an InterruptionGuard watches has come since the guard began.
DIALOG_EXPORT bool interruptionRequested();
