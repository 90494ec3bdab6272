// What became of one of the user's jobs that the agent took up.
#pragma once

enum class JobFate {
    Released,
    Cancelled,
    // Offered again when the queue's stored settings change or the agent starts again.
    LeftHeld,
    // Not the agent's: another maker's printer, codes given already, a hold of the person's own.
    LeftAlone,
    // Its prompt is with the person, or waits its turn.
    WithPerson,
    // The server went away before the job could be released or cancelled: offered again once
    // it is back.
    ServerLost,
    // The agent was asked to stop before the job was done: it stays held for the next one.
    Stopped,
};
