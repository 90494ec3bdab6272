// A program of the product left running while the test acts on it, as a person at a terminal
// would: lines typed into its standard input one at a time, its output watched as it comes, a
// signal sent, and /proc looked at; its end is then collected like runProgram's.
#pragma once

#include "ProgramRun.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class RunningProgram {
public:
    // Starts the program; options.input is ignored (write() types instead), options.timeout
    // bounds every wait and the whole run.
    RunningProgram(const std::vector<std::string>& arguments, const ProgramOptions& options = {});
    // Kills the program if it still runs.
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t pid() const { return m_child; }
    void type(const std::string& text);
    // Waits until the standard output holds text; false after the timeout or when the program ends first.
    bool waitForOutput(const std::string& text);
    void sendSignal(int signal);
    // Ends standard input and waits for the program to end.
    ProgramRun finish();

private:
    // Reads what the program has written, waiting up to wait for something to come.
    bool drain(std::chrono::milliseconds wait);

    pid_t m_child { -1 };
    int m_input { -1 };
    int m_streams[2] { -1, -1 };
    ProgramRun m_run;
    std::chrono::milliseconds m_timeout;
    std::chrono::steady_clock::time_point m_start;
};
