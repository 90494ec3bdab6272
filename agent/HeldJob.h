// One held job, handled as the pane would handle its Print click: the queue's PPD and the
// user's stored settings for the queue open the Print dialog (the pane never shown), the click
// is played with the desk answering the prompt, and the job is released with its options and
// codes, cancelled, or left held.
#pragma once

#include "PromptDesk.h"
#include "QueueSettingsStore.h"
#include "ServerJobs.h"

#include <ostream>
#include <string>

struct JobHandling {
    ServerJobs& server;
    const QueueSettingsStore& store;
    const std::string& plugInPath;
    const std::string& primaryPlugInPath;
    PromptDesk& desk;
    std::ostream& out; // one line per event: "job N QUEUE: ..."
    std::ostream& err; // "accounting-agent: ..."
    bool verbose { false }; // the pane's diagnostic lines to err rather than to the journal
    bool errorsTold { false }; // set when a job's handling wrote to err
    bool anyNameTold { false }; // set once err has said that the server takes jobs in any name
};

enum class JobFate {
    Released,
    Cancelled,
    // Offered again when the queue's stored settings change or the agent starts again.
    LeftHeld,
    // Not the agent's: another maker's printer, or codes given already.
    LeftAlone,
    // The server went away before the job could be released or cancelled: offered again once
    // it is back.
    ServerLost,
    // The agent was asked to stop before the job was done: it stays held for the next one.
    Stopped,
};

JobFate handleHeldJob(const ServerJob& job, JobHandling& handling);
