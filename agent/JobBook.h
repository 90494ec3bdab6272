// What the agent has done with each of the user's jobs it has seen, so that every listing of
// the jobs (at start, after each event, after the server came back) offers each job once: a job
// held for accounting, or held again by the server when the printer refused its account (each
// refusal once). A job left held waits until its queue's stored settings change or the agent
// starts again; a job whose prompt is with the person is not offered while it is; a job whose
// document has not arrived yet (created first, its document sent after) is looked at again after
// a short, growing wait, since the server tells of no event when the document comes.
#pragma once

#include "agent/JobFate.h"
#include "agent/ServerJobs.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

class JobBook {
public:
    using Clock = std::chrono::steady_clock;

    // Of the jobs listed now, the ones to handle now, oldest first. What is no longer listed is
    // forgotten.
    std::vector<ServerJob> due(const std::vector<ServerJob>& listed, Clock::time_point now);
    // Jobs held with their document still on its way.
    std::vector<ServerJob> waitingForDocument(const std::vector<ServerJob>& listed) const;
    void record(const ServerJob& job, JobFate fate);
    // The jobs left held on the queue (the store names it in lower case) are offered again.
    void offerAgain(const std::string& queue);
    void offerAllAgain();
    // When a job waiting for its document is to be looked at again.
    std::optional<Clock::time_point> nextLook() const;

    // What the server said as it held a job whose account the printer refused, kept until the
    // job is handled.
    void noteRefusal(int job, const std::string& text) { m_refusals[job] = text; }
    std::string refusal(int job) const;
    // Whether a job of the listing is due for a refusal whose words have not come yet.
    bool refusalUntold(const std::vector<ServerJob>& listed) const;

private:
    // Whether the job's refusal was taken up already, or its prompt is with the person.
    bool refusalHandled(const ServerJob& job) const;

    enum class Mark {
        Done, // released, cancelled or left alone
        LeftHeld,
        WithPerson,
        AwaitingDocument,
    };
    struct Entry {
        std::string queue;
        Mark mark;
        Clock::time_point lookAt {};
        std::chrono::milliseconds wait {};
        // The printer's attempt that was refused, for a job taken up for a refusal.
        time_t refusedAttempt { 0 };
    };
    std::map<int, Entry> m_entries;
    std::map<int, std::string> m_refusals;
};
