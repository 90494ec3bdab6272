// Runs a program of the product as a person would from a shell, and keeps everything a test
// looks at afterwards: what it printed on each stream, how it ended, how long it took and the
// most memory it held. One set: runProgram here for a run from start to end, RunningProgram.h
// for a program the test acts on while it runs (and which does the work of both), ClearError.h
// for what a run given bad input must come to.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct ProgramRun {
    int exitStatus { -1 }; // -1 when it did not exit by itself
    int signal { 0 }; // the signal that ended it, if one did
    bool timedOut { false };
    std::string output;
    std::string errors;
    std::chrono::milliseconds elapsed { 0 };
    // The processor time it used, user and system: what its work cost, however busy the
    // machine was with other things while it ran.
    std::chrono::milliseconds processorTime { 0 };
    long peakResidentKiB { 0 };
};

struct ProgramOptions {
    // Typed into the program's standard input as it starts; runProgram then ends the input (a
    // RunningProgram keeps it open for more). Without it, nothing is typed.
    std::string input;
    // Set (or, with an empty value, cleared) in the program's environment. The program has no
    // session bus (DBUS_SESSION_BUS_ADDRESS "disabled:") unless this gives it one.
    std::vector<std::pair<std::string, std::string>> environment;
    // Past this the program is killed and the run marked timedOut.
    std::chrono::milliseconds timeout { 60000 };
    // Run as this user (the test runs as root) instead of the test's own. The arguments that
    // name the build's programs or the checkout's files then name copies that the user can
    // reach, wherever the checkout stands (see ReachableCopies.h).
    std::string user;
};

// Options with nothing but the standard input set.
ProgramOptions withInput(std::string input);

// Runs the program to its end (see RunningProgram.h, which does the work).
ProgramRun runProgram(const std::vector<std::string>& arguments, const ProgramOptions& options = {});

// The user's language settings that make a program speak English in C.UTF-8.
std::vector<std::pair<std::string, std::string>> englishLanguageSettings();

// Whether this build runs under AddressSanitizer, whose shadow memory and slower code put
// memory and time bounds out of reach.
constexpr bool kSanitizedBuild =
#if defined(__SANITIZE_ADDRESS__)
    true;
#else
    false;
#endif
