// What a program that holds the user's codes does before anything else. printdialog calls it
// first thing, and so does any other program that runs the pane or sends its codes.
#pragma once

#include "program/ProgramsExport.h"

#include <csignal>
#include <string>

// Keeps the codes out of core files: no core dump however the process ends, and the process
// is not dumpable, so that no other process of the same user can read its memory (ptrace,
// /proc/PID/mem) either. False, with the reason in *error, when the system refuses.
PROGRAMS_EXPORT bool forbidCoreDumps(std::string* error);

// A write that the system refuses (beyond a file-size limit, into a closed pipe or connection)
// fails with an error that the caller reports and cleans up after, instead of killing the
// process halfway through a save and leaving a partial file with the codes behind.
PROGRAMS_EXPORT void makeRefusedWritesErrors();

// Ctrl-C, SIGTERM or SIGHUP while a job is half made (created on the server, its document not all
// sent) would leave the job, which holds the codes, on the server. For the guard's life they ask
// the work to stop instead (interruptionRequested()), so that it can take the job back; at its
// end the guard restores what they did before and, when one came, raises it again, so that the
// program ends as the signal asked. A second signal ends the program at once, and a signal that
// the program ignores stays ignored.
class PROGRAMS_EXPORT InterruptionGuard {
public:
    InterruptionGuard();
    ~InterruptionGuard();
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;

private:
    struct sigaction m_previous[3];
};

// For a program that runs until it is asked to stop (the accounting agent), from open() to the
// end: SIGINT, SIGTERM and SIGHUP ask the program to stop (interruptionRequested()), so that every
// wait that stops on interruption ends within a second, a read of standard input ends, and
// descriptor() becomes readable for the poll() the program sleeps in. A second signal ends the
// program at once, as an InterruptionGuard's does.
class PROGRAMS_EXPORT StopRequests {
public:
    StopRequests() = default;
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    // False, with the reason in *error, when the system refuses.
    bool open(std::string* error);
    int descriptor() const { return m_wake[0]; }

private:
    int m_wake[2] { -1, -1 };
};

// Whether a signal that an InterruptionGuard or StopRequests watches has come since it began.
PROGRAMS_EXPORT bool interruptionRequested();
// The same as libcups's cancel flag (httpConnect2, httpReconnect2): non-zero once it has come.
PROGRAMS_EXPORT int* interruptionFlag();
