#include "agent/Agent.h"

#include "agent/AgentLock.h"
#include "agent/HeldJobs.h"
#include "program/PrintableText.h"
#include "program/ProcessGuards.h"
#include "agent/ProgramFiles.h"
#include "agent/PromptAnswerer.h"
#include "queues/QueueSettingsStore.h"
#include "queues/cups/CupsConnection.h"
#include "dialog/ScreenModule.h"
#include "agent/ServerJobs.h"
#include "agent/ServerNews.h"
#include "agent/SettingsWatch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <poll.h>

namespace {

using Clock = std::chrono::steady_clock;

class Agent {
public:
    Agent(const AgentOptions& options, const AgentTiming& timing, PromptAnswerer* answerer, std::string nobodyWhy, const QueueSettingsStore& store,
        std::ostream& out, std::ostream& err)
        : m_server(options.server)
        , m_jobs(m_server, store, options, answerer, std::move(nobodyWhy), out, err)
        , m_news(m_server, options, timing, err)
        , m_out(out)
        , m_err(err)
    {
        m_jobs.watchConnections(&m_news.connections());
    }

    // The lock tells --check what the agent last said of each job.
    void tellJobLinesTo(AgentLock& lock)
    {
        m_jobs.tellLinesTo([&lock](const std::map<int, std::string>& lines) { lock.tellJobLines(lines); });
    }

    // Handles the jobs held now, their prompts answered one after another.
    int once(const StopRequests& stop)
    {
        std::string error;
        if (m_server.connect(&error) != Reply::Done) {
            // A connection given up for a stop says so, and the agent ends as a stop ends it.
            m_err << "accounting-agent: " << printableText(error) << "\n";
            return interruptionRequested() ? kAgentDone : kAgentError;
        }
        std::vector<ServerJob> listed;
        bool listedAll = list(&listed);
        while (listedAll && m_jobs.promptsWaiting() && !interruptionRequested()) {
            std::vector<pollfd> watched = { { stop.descriptor(), POLLIN, 0 } };
            m_jobs.addDescriptors(watched);
            if (poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR)
                break;
            listedAll = m_jobs.promptReady() == HeldJobs::Going::On;
        }
        if (interruptionRequested())
            return kAgentDone;
        if (!listedAll)
            return kAgentError;
        for (const ServerJob& job : m_jobs.book().waitingForDocument(listed))
            m_out << "job " << job.id << " " << printableText(job.queue) << ": left held: its document has not arrived yet\n";
        return m_failed || m_jobs.errorsTold() ? kAgentError : kAgentDone;
    }

    // Watches until a stop signal, with the settings folder watched for changes.
    int watch(const StopRequests& stop, SettingsWatch& settings)
    {
        if (m_news.start().listJobs)
            list(nullptr);
        for (;;) {
            if (interruptionRequested())
                return end(kAgentDone);
            if (std::optional<int> status = endForProgramFiles())
                return *status;
            // The slots of what the agent sleeps on: the stop request, the settings folder and the
            // program's files first, then the server's news, then the prompt up.
            enum : size_t { kStopSlot,
                kSettingsSlot,
                kProgramFilesSlot };
            std::vector<pollfd> watched = { { stop.descriptor(), POLLIN, 0 }, { settings.descriptor(), POLLIN, 0 },
                { m_files.descriptor(), POLLIN, 0 } };
            m_news.rest();
            m_news.addDescriptors(watched);
            size_t promptSlots = watched.size();
            m_jobs.addDescriptors(watched);
            if (poll(watched.data(), watched.size(), m_news.waitMilliseconds(m_jobs.book().nextLook())) < 0 && errno != EINTR) {
                m_err << "accounting-agent: cannot wait for events: " << strerror(errno) << "\n";
                return end(kAgentError);
            }
            if (interruptionRequested() || watched[kStopSlot].revents || watched[kProgramFilesSlot].revents)
                continue;
            // What woke it may be a job to release, which only the program as started may do.
            if (std::optional<int> status = endForProgramFiles())
                return *status;
            bool listAgain = false;
            if (watched[kSettingsSlot].revents) {
                bool everything = false;
                for (const std::string& queue : settings.changedQueues(&everything))
                    m_jobs.book().offerAgain(queue);
                if (everything)
                    m_jobs.book().offerAllAgain();
                listAgain = true;
            }
            ServerNews::Tidings tidings = m_news.wake(watched);
            m_jobs.noteRefusals(tidings.accountRefusals);
            bool promptReady = false;
            for (size_t slot = promptSlots; slot < watched.size(); ++slot)
                promptReady = promptReady || watched[slot].revents;
            if (promptReady && m_jobs.promptReady() == HeldJobs::Going::ServerLost)
                m_news.lost("");
            std::optional<Clock::time_point> look = m_jobs.book().nextLook();
            // A job whose prompt is up or waits may have gone meanwhile.
            bool promptedJobTold = std::any_of(tidings.jobsTold.begin(), tidings.jobsTold.end(), [this](int job) { return m_jobs.withPerson(job); });
            if (m_news.reachable() && (tidings.listJobs || listAgain || promptedJobTold || (look && Clock::now() >= *look)))
                list(nullptr);
        }
    }

private:
    // The exit status of an agent whose program files a package upgrade replaced (it starts again
    // from them) or removed (it ends), said in one line; none while they are as it started.
    std::optional<int> endForProgramFiles()
    {
        ProgramFiles::State files = m_files.look();
        if (files == ProgramFiles::State::AsStarted)
            return std::nullopt;
        bool replaced = files == ProgramFiles::State::Replaced;
        m_err << "accounting-agent: " << (replaced ? "its program files were replaced; it starts again from them" : "its program files were removed; this agent ends")
              << "\n";
        return end(replaced ? kAgentUpdated : kAgentDone,
            replaced ? "its prompt closed as the agent starts again from its new files" : "its prompt closed as the agent's program files were removed");
    }

    // Lists the user's jobs and takes up those that are due. False when the server was lost, or
    // the agent is to stop.
    bool list(std::vector<ServerJob>* listedJobs)
    {
        std::vector<ServerJob> listed;
        std::string error;
        Reply reply = m_server.listJobs(&listed, &error);
        if (reply == Reply::Lost) {
            m_news.lost(error);
            return false;
        }
        if (reply == Reply::Refused) {
            m_err << "accounting-agent: cannot list your jobs: " << printableText(error) << "\n";
            m_failed = true;
            return true;
        }
        // A job the printer refused is taken up with the server's word for why, which only its
        // event carries: the listing may have come first.
        if (m_jobs.book().refusalUntold(listed))
            m_jobs.noteRefusals(m_news.catchUp().accountRefusals);
        HeldJobs::Going going = m_jobs.take(listed);
        if (going == HeldJobs::Going::ServerLost)
            m_news.lost("");
        if (listedJobs)
            *listedJobs = std::move(listed);
        return going == HeldJobs::Going::On;
    }

    // The prompt up closes, its job stays held (with a line saying why, when one is given), and the
    // subscriptions go with the agent.
    int end(int status, const std::string& promptClosedWhy = "")
    {
        m_jobs.closePrompts(promptClosedWhy);
        m_news.farewell();
        return status;
    }

    ServerJobs m_server;
    HeldJobs m_jobs;
    ServerNews m_news;
    ProgramFiles m_files;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_failed { false };
};

}

int runAgent(const AgentOptions& options, std::ostream& out, std::ostream& err, const AgentTiming& timing)
{
    std::string error;
    // From here on a stop signal ends whatever the agent waits for within a second.
    StopRequests stop;
    if (!stop.open(&error)) {
        err << "accounting-agent: " << error << "\n";
        return kAgentError;
    }
    ScriptSource script;
    if (!options.scriptPath.empty() && !script.open(options.scriptPath, &error)) {
        err << "accounting-agent: " << options.scriptPath << ": " << error << "\n";
        return kAgentError;
    }
    QueueSettingsStore store(options.settingsFolder.empty() ? QueueSettingsStore::defaultFolder() : options.settingsFolder);
    // The settings folder is made for the user alone when missing, and watched from the start.
    SettingsWatch settings;
    if (!store.prepareFolder(&error) || (!options.once && !settings.open(store, &error))) {
        err << "accounting-agent: " << error << "\n";
        return kAgentError;
    }
    AgentLock lock;
    std::string holder;
    std::string server = CupsConnection::address(options.server);
    switch (lock.take(store.folder(), server, &holder, &error)) {
    case AgentLock::Outcome::Taken:
        break;
    case AgentLock::Outcome::HeldByAnother:
        err << "accounting-agent: another accounting agent (" << holder << ") handles your jobs on the CUPS server at " << server
            << " already; this one ends\n";
        return kAgentDone;
    case AgentLock::Outcome::Failed:
        err << "accounting-agent: " << error << "\n";
        return kAgentError;
    }
    // A job that needs the prompt stays held until the person can be asked.
    std::unique_ptr<PromptAnswerer> answerer = !options.scriptPath.empty() ? makeScriptAnswerer(script, options.scriptPath)
        : displayAvailable()                                               ? makeScreenAnswerer()
                                                                           : nullptr;
    Agent agent(options, timing, answerer.get(), "it needs the prompt, and there is no screen to show it on and no --script to answer it", store,
        out, err);
    agent.tellJobLinesTo(lock);
    // A server that asks for the person's password asks whoever answers the prompts.
    PasswordAsker asker;
    if (answerer) {
        asker = [&answerer, &out, &err](const PasswordQuestion& question, PasswordAnswer* answer, std::string* why) {
            std::string fault;
            bool given = answerer->askPassword(question, out, answer, why, &fault);
            if (!fault.empty())
                err << "accounting-agent: " << fault << "\n";
            return given;
        };
    }
    PasswordAskerScope askerScope(std::move(asker));
    return options.once ? agent.once(stop) : agent.watch(stop, settings);
}
