// accounting-agent --check: what a person or an administrator needs to know of a desktop's
// set-up for accounting, in the person's language and with nothing secret in it: the server and
// how it is reached, how the person proves who they are, each queue with what its printer asks
// for, whether it holds new jobs and what the person stored for it (never the codes), the
// keyring, the agent, and the person's held jobs with why each waits. Each problem is one line
// that says what to do.
#pragma once

#include "agent/AgentCommandLine.h"

#include <ostream>

enum SetupCheckExit {
    kSetupFine = 0,
    kSetupHasProblems = 1,
};

// Writes the report to out; returns a SetupCheckExit.
int checkSetup(const AgentOptions& options, std::ostream& out);
