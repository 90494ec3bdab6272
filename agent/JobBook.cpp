#include "agent/JobBook.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

constexpr std::chrono::milliseconds kFirstDocumentWait { 50 };
constexpr std::chrono::milliseconds kLongestDocumentWait { 5000 };

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

}

bool JobBook::refusalHandled(const ServerJob& job) const
{
    auto known = m_entries.find(job.id);
    return known != m_entries.end() && (known->second.mark == Mark::WithPerson || known->second.refusedAttempt == job.processedAt);
}

bool JobBook::refusalUntold(const std::vector<ServerJob>& listed) const
{
    return std::any_of(listed.begin(), listed.end(),
        [this](const ServerJob& job) { return job.refusedByPrinter && !refusalHandled(job) && !m_refusals.count(job.id); });
}

std::vector<ServerJob> JobBook::due(const std::vector<ServerJob>& listed, Clock::time_point now)
{
    std::set<int> seen;
    std::vector<ServerJob> jobs;
    for (const ServerJob& job : listed) {
        seen.insert(job.id);
        auto known = m_entries.find(job.id);
        // Each refusal of the printer's is a new question for the person, once.
        if (job.refusedByPrinter) {
            if (!refusalHandled(job))
                jobs.push_back(job);
            continue;
        }
        if (!job.heldIndefinitely)
            continue;
        if (known != m_entries.end() && known->second.mark != Mark::AwaitingDocument)
            continue;
        if (job.documentArrived) {
            jobs.push_back(job);
            continue;
        }
        if (known == m_entries.end()) {
            m_entries[job.id] = { job.queue, Mark::AwaitingDocument, now + kFirstDocumentWait, kFirstDocumentWait };
        } else if (known->second.lookAt <= now) {
            Entry& entry = known->second;
            entry.wait = std::min(entry.wait * 2, kLongestDocumentWait);
            entry.lookAt = now + entry.wait;
        }
    }
    std::erase_if(m_entries, [&](const auto& entry) { return !seen.count(entry.first); });
    std::erase_if(m_refusals, [&](const auto& refusal) { return !seen.count(refusal.first); });
    std::sort(jobs.begin(), jobs.end(), [](const ServerJob& a, const ServerJob& b) { return a.id < b.id; });
    return jobs;
}

std::vector<ServerJob> JobBook::waitingForDocument(const std::vector<ServerJob>& listed) const
{
    std::vector<ServerJob> jobs;
    for (const ServerJob& job : listed) {
        auto known = m_entries.find(job.id);
        if (job.heldIndefinitely && !job.documentArrived && known != m_entries.end() && known->second.mark == Mark::AwaitingDocument)
            jobs.push_back(job);
    }
    return jobs;
}

void JobBook::record(const ServerJob& job, JobFate fate)
{
    if (fate == JobFate::ServerLost || fate == JobFate::Stopped) {
        m_entries.erase(job.id);
        return;
    }
    Mark mark = fate == JobFate::LeftHeld ? Mark::LeftHeld : fate == JobFate::WithPerson ? Mark::WithPerson
                                                                                         : Mark::Done;
    m_entries[job.id] = { job.queue, mark, {}, {}, job.refusedByPrinter ? job.processedAt : 0 };
    if (fate != JobFate::WithPerson)
        m_refusals.erase(job.id);
}

std::string JobBook::refusal(int job) const
{
    auto found = m_refusals.find(job);
    return found == m_refusals.end() ? "" : found->second;
}

void JobBook::offerAgain(const std::string& queue)
{
    std::erase_if(m_entries, [&](const auto& entry) { return entry.second.mark == Mark::LeftHeld && lowerCase(entry.second.queue) == queue; });
}

void JobBook::offerAllAgain()
{
    std::erase_if(m_entries, [](const auto& entry) { return entry.second.mark == Mark::LeftHeld; });
}

std::optional<JobBook::Clock::time_point> JobBook::nextLook() const
{
    std::optional<Clock::time_point> next;
    for (const auto& [id, entry] : m_entries) {
        if (entry.mark == Mark::AwaitingDocument && (!next || entry.lookAt < *next))
            next = entry.lookAt;
    }
    return next;
}
