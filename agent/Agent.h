// accounting-agent: the pane's print-time behaviour for the user's held jobs of every program.
// It lists the user's own jobs, handles each one held for accounting (HeldJobs.h), and, unless
// asked to do that once, watches the server for more until SIGTERM or SIGINT.
#pragma once

#include "agent/AgentCommandLine.h"

#include <chrono>
#include <ostream>

enum AgentExit {
    kAgentDone = 0,
    kAgentError = 2,
    // Not an exit status: the agent's files were replaced while it ran, and the caller starts
    // the program again from them.
    kAgentUpdated = 3,
};

// How long the agent's subscriptions last between renewals (the agent renews them halfway), and
// the longest wait before it tries a lost server again.
struct AgentTiming {
    std::chrono::seconds lease { 600 };
    std::chrono::seconds longestReconnectWait { 60 };
};

// Runs the agent; the job lines go to out, errors to err. Returns an AgentExit.
int runAgent(const AgentOptions& options, std::ostream& out, std::ostream& err, const AgentTiming& timing = {});
