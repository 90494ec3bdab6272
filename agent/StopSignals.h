// SIGTERM and SIGINT, taken as events: blocked, and read from a descriptor that the agent polls
// with everything else, so that it ends within a second, after cancelling its subscriptions,
// however long it has been asleep.
#pragma once

#include <Base/RegularFile.h>

#include <string>

class StopSignals {
public:
    // Blocks both signals (for the whole process: the agent has no threads) and opens the
    // descriptor. False, with the reason in *error, when the system refuses.
    bool open(std::string* error);
    int descriptor() const { return m_signals.get(); }
    // The signal that arrived (SIGTERM or SIGINT), or 0.
    int take();

    // While a person may be slow to answer (a script typed on standard input), the signals end
    // the agent at once as they end any program, instead of waiting for the answer: the job
    // then stays held, and the subscriptions lapse at the end of their lease.
    class Unblocked {
    public:
        Unblocked();
        ~Unblocked();
        Unblocked(const Unblocked&) = delete;
        Unblocked& operator=(const Unblocked&) = delete;
    };

private:
    StandIn::FileDescriptor m_signals;
};
