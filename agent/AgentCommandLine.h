// accounting-agent's command line.
#pragma once

#include <string>
#include <vector>

struct AgentOptions {
    std::string server; // HOST:PORT or a socket path; empty: the user's default server
    bool once { false }; // handle the jobs held now, then end
    bool check { false }; // report on the set-up (SetupCheck.h), handle nothing
    std::string scriptPath; // answers the prompts; "-" for standard input, empty for none
    std::string settingsFolder; // the per-queue settings store; empty: its default folder
    bool verbose { false }; // the pane's diagnostic lines on standard error, not in the journal
    std::string plugInPath;
    std::string primaryPlugInPath;
};

// Reads the command line into options; false, with the reason in *error, for a bad one.
bool parseAgentArguments(const std::vector<std::string>& arguments, AgentOptions* options, std::string* error);

extern const char* const kAgentUsage;
