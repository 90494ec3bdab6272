// What the agent has done with each of the user's jobs it has seen, so that every listing of
// the jobs (at start, after each event, after the server came back) offers each held job once:
// a job left held waits until its queue's stored settings change or the agent starts again; a
// job whose document has not arrived yet (created first, its document sent after) is looked at
// again after a short, growing wait, since the server tells of no event when the document comes.
#pragma once

#include "HeldJob.h"
#include "ServerJobs.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

class JobBook {
public:
    using Clock = std::chrono::steady_clock;

    // Of the jobs listed now, the held ones to handle now, oldest first. What is no longer
    // listed is forgotten.
    std::vector<ServerJob> due(const std::vector<ServerJob>& listed, Clock::time_point now);
    // Jobs held with their document still on its way.
    std::vector<ServerJob> waitingForDocument(const std::vector<ServerJob>& listed) const;
    void record(const ServerJob& job, JobFate fate);
    // The jobs left held on the queue (the store names it in lower case) are offered again.
    void offerAgain(const std::string& queue);
    void offerAllAgain();
    // When a job waiting for its document is to be looked at again.
    std::optional<Clock::time_point> nextLook() const;

private:
    enum class Mark {
        Done, // released, cancelled or left alone
        LeftHeld,
        AwaitingDocument,
    };
    struct Entry {
        std::string queue;
        Mark mark;
        Clock::time_point lookAt {};
        std::chrono::milliseconds wait {};
    };
    std::map<int, Entry> m_entries;
};
