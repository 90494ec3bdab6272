// A program of the product left running while the test acts on it, as a person at a terminal
// would: text typed into its standard input, its output watched as it comes, a signal sent, and
// /proc looked at; its end is then collected as a ProgramRun. The one place where the tests
// start a program and keep its streams moving: runProgram is a RunningProgram finished at once.
#pragma once

#include "tests/support/ProgramRun.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class RunningProgram {
public:
    // Starts the program and types options.input; options.timeout bounds every wait and the whole run.
    RunningProgram(const std::vector<std::string>& arguments, const ProgramOptions& options = {});
    // Kills the program if it still runs.
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t pid() const { return m_child; }
    // Returns once the program has taken the text (reading its output meanwhile, so that neither
    // side can fill a pipe and stall the other), has stopped reading, or the time is up.
    void type(const std::string& text);
    // Waits until the standard output (or error) holds text; false after the timeout or when the
    // program ends first.
    bool waitForOutput(const std::string& text) { return waitFor(m_run.output, text); }
    bool waitForErrors(const std::string& text) { return waitFor(m_run.errors, text); }
    void sendSignal(int signal);
    // Ends standard input once everything typed is taken, and waits for the program to end.
    ProgramRun finish();

private:
    // Moves what is ready: output into the run, typed text into the program, waiting up to wait
    // for either. False once both output streams have ended.
    bool pump(std::chrono::milliseconds wait);
    std::chrono::milliseconds timeLeft() const;
    bool waitFor(const std::string& stream, const std::string& text);
    void endInput();

    pid_t m_child { -1 };
    int m_input { -1 };
    int m_streams[2] { -1, -1 };
    std::string m_typed;
    ProgramRun m_run;
    std::chrono::milliseconds m_timeout;
    std::chrono::steady_clock::time_point m_start;
};
