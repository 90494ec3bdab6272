#include "Agent.h"

#include "AgentLock.h"
#include "HeldJob.h"
#include "JobBook.h"
#include "PrintableText.h"
#include "ProcessGuards.h"
#include "ProgramFiles.h"
#include "PromptDesk.h"
#include "QueueSettingsStore.h"
#include "ScreenFrontEnd.h"
#include "ServerBell.h"
#include "ServerJobs.h"
#include "SettingsWatch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <poll.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kFirstReconnectWait { 1 };
// However often the bell rings, the events are asked for at most this often.
constexpr std::chrono::milliseconds kShortestAskInterval { 250 };
// Cancelling the subscriptions at the end must not keep the agent past its second.
constexpr std::chrono::milliseconds kFarewellTimeout { 500 };

std::string inSeconds(std::chrono::seconds wait)
{
    return std::to_string(wait.count()) + " s";
}

class Agent {
public:
    Agent(const AgentOptions& options, const AgentTiming& timing, PromptDesk& desk, const QueueSettingsStore& store, std::ostream& out,
        std::ostream& err)
        : m_options(options)
        , m_timing(timing)
        , m_server(options.server)
        , m_handling { m_server, store, options.plugInPath, options.primaryPlugInPath, desk, out, err, options.verbose }
        , m_err(err)
    {
    }

    // Handles the jobs held now.
    int once()
    {
        std::string error;
        if (m_server.connect(&error) != Reply::Done) {
            m_err << "accounting-agent: " << printableText(error) << "\n";
            return kAgentError;
        }
        std::vector<ServerJob> listed;
        bool listedAll = handleListedJobs(&listed);
        if (interruptionRequested())
            return kAgentDone;
        if (!listedAll)
            return kAgentError;
        for (const ServerJob& job : m_book.waitingForDocument(listed))
            m_handling.out << "job " << job.id << " " << job.queue << ": left held: its document has not arrived yet\n";
        return m_failed || m_handling.errorsTold ? kAgentError : kAgentDone;
    }

    // Watches until a stop signal, with the settings folder watched for changes.
    int watch(const StopRequests& stop, SettingsWatch& settings)
    {
        ServerBell& bell = m_bell;
        std::string error;
        if (m_server.connect(&error) == Reply::Done)
            resume();
        else
            lost(error);
        for (;;) {
            if (interruptionRequested()) {
                farewell();
                return kAgentDone;
            }
            if (ProgramFiles::State files = m_files.look(); files != ProgramFiles::State::AsStarted) {
                farewell();
                m_err << "accounting-agent: "
                      << (files == ProgramFiles::State::Replaced ? "its program files were replaced; it starts again from them"
                                                                 : "its program files were removed; this agent ends")
                      << "\n";
                return files == ProgramFiles::State::Replaced ? kAgentUpdated : kAgentDone;
            }
            std::vector<pollfd> watched = { { stop.descriptor(), POLLIN, 0 }, { settings.descriptor(), POLLIN, 0 } };
            if (bell.isOpen())
                watched.push_back({ bell.descriptor(), bell.events(), 0 });
            // Nothing is asked of the server while the agent waits: it closing the connection is
            // the only thing the connection can tell.
            bool connected = m_server.socket() >= 0;
            if (connected)
                watched.push_back({ m_server.socket(), POLLIN | POLLRDHUP, 0 });
            if (poll(watched.data(), watched.size(), waitMilliseconds()) < 0 && errno != EINTR) {
                m_err << "accounting-agent: cannot wait for events: " << strerror(errno) << "\n";
                return kAgentError;
            }
            if (interruptionRequested())
                continue;
            bool listAgain = false;
            if (watched[1].revents) {
                bool everything = false;
                for (const std::string& queue : settings.changedQueues(&everything))
                    m_book.offerAgain(queue);
                if (everything)
                    m_book.offerAllAgain();
                listAgain = true;
            }
            if (bell.isOpen()) {
                bool rang = false;
                if (!bell.takeRings(&rang, &error))
                    m_err << "accounting-agent: " << printableText(error) << "; new jobs are seen within " << inSeconds(m_askInterval) << "\n";
                if (rang && m_askAt)
                    m_askAt = std::min(*m_askAt, std::max(Clock::now(), m_lastAsk + kShortestAskInterval));
            }
            bool askNow = m_askAt && Clock::now() >= *m_askAt;
            if (connected && watched.back().revents)
                idleConnectionClosed();
            else if (!connected && m_reconnectAt && Clock::now() >= *m_reconnectAt)
                reconnect();
            if (m_server.socket() < 0)
                continue;
            if (m_renewAt && Clock::now() >= *m_renewAt && !renew())
                continue;
            if (askNow && !ask(&listAgain))
                continue;
            std::optional<Clock::time_point> look = m_book.nextLook();
            if (listAgain || (look && Clock::now() >= *look))
                handleListedJobs(nullptr);
        }
    }

private:
    // The longest poll() may sleep: until the earliest thing to do.
    int waitMilliseconds() const
    {
        std::vector<Clock::time_point> times;
        for (const auto& when : { m_askAt, m_renewAt, m_reconnectAt, m_book.nextLook() }) {
            if (when)
                times.push_back(*when);
        }
        int wait = m_bell.timeout();
        if (!times.empty()) {
            auto until = std::chrono::ceil<std::chrono::milliseconds>(*std::min_element(times.begin(), times.end()) - Clock::now());
            int next = static_cast<int>(std::max<long>(0, until.count()));
            wait = wait < 0 ? next : std::min(wait, next);
        }
        return wait;
    }

    // Lists the user's jobs and handles those that are due. False when the server was lost.
    bool handleListedJobs(std::vector<ServerJob>* listedJobs)
    {
        std::vector<ServerJob> listed;
        std::string error;
        Reply reply = m_server.listJobs(&listed, &error);
        if (reply == Reply::Lost) {
            lost(error);
            return false;
        }
        if (reply == Reply::Refused) {
            fail("cannot list your jobs: " + error);
            return true;
        }
        for (const ServerJob& job : m_book.due(listed, Clock::now())) {
            if (interruptionRequested())
                return false;
            JobFate fate = handleHeldJob(job, m_handling);
            m_book.record(job, fate);
            if (fate == JobFate::Stopped)
                return false;
            if (fate == JobFate::ServerLost) {
                lost("");
                return false;
            }
        }
        if (listedJobs)
            *listedJobs = std::move(listed);
        return true;
    }

    void fail(const std::string& why)
    {
        m_err << "accounting-agent: " << printableText(why) << "\n";
        m_failed = true;
    }

    // The server went away: the agent tries again after a growing wait.
    void lost(const std::string& why)
    {
        m_server.disconnect();
        // A wait that ended because the agent is to stop is no news of the server.
        if (interruptionRequested())
            return;
        m_askAt = m_renewAt = std::nullopt;
        if (!m_reconnectAt) {
            m_reconnectWait = kFirstReconnectWait;
            m_err << "accounting-agent: " << printableText(why.empty() ? m_server.serverName() + " has gone" : why) << "; trying again in "
                  << inSeconds(m_reconnectWait) << ", then less and less often\n";
        }
        m_reconnectAt = Clock::now() + m_reconnectWait;
    }

    void reconnect()
    {
        std::string error;
        if (m_server.connect(&error) != Reply::Done) {
            m_reconnectWait = std::min(m_reconnectWait * 2, m_timing.longestReconnectWait);
            m_reconnectAt = Clock::now() + m_reconnectWait;
            return;
        }
        m_err << "accounting-agent: " << m_server.serverName() << " is back\n";
        m_reconnectAt = std::nullopt;
        resume();
    }

    // The server closes a connection that stayed idle: a new one tells whether it is still there.
    void idleConnectionClosed()
    {
        std::string error;
        if (m_server.connect(&error) != Reply::Done)
            lost(error);
    }

    // Connected (again): the subscriptions, and what is held now.
    void resume()
    {
        bool listAgain = true;
        if (m_pull ? ask(&listAgain) : subscribe())
            handleListedJobs(nullptr);
    }

    bool subscribe()
    {
        std::string error;
        m_sequence = 1;
        m_askAt = std::nullopt;
        Reply reply = m_server.subscribe(Delivery::Pull, m_timing.lease, &m_pull, &error);
        if (reply == Reply::Lost) {
            lost(error);
            return false;
        }
        if (reply == Reply::Refused)
            fail("cannot subscribe to the server's events: " + error + "; jobs held from now on are seen when the agent starts again");
        else
            m_askAt = Clock::now() + m_askInterval;
        m_renewAt = Clock::now() + m_timing.lease / 2;
        if (!m_server.isLocal() || !openBell())
            return true;
        reply = m_server.subscribe(Delivery::SystemBus, m_timing.lease, &m_ring, &error);
        if (reply == Reply::Lost) {
            lost(error);
            return false;
        }
        if (reply == Reply::Refused && !m_bellRefusalTold) {
            m_err << "accounting-agent: " << m_server.serverName() << " rings no bell on the system bus (" << printableText(error)
                  << "); new jobs are seen within " << inSeconds(m_askInterval) << "\n";
            m_bellRefusalTold = true;
        }
        return true;
    }

    // The bell rings only for a server on this machine; without it, the server's pace is the
    // agent's.
    bool openBell()
    {
        std::string error;
        if (m_bell.isOpen() || m_bellRefusalTold)
            return m_bell.isOpen();
        if (!m_bell.open(&error)) {
            m_err << "accounting-agent: " << printableText(error) << "; new jobs are seen within " << inSeconds(m_askInterval) << "\n";
            m_bellRefusalTold = true;
        }
        return m_bell.isOpen();
    }

    // A subscription the server no longer knows (it expired, or the server forgot it) is made anew.
    bool subscribeAgain()
    {
        std::string ignored;
        for (int* subscription : { &m_pull, &m_ring }) {
            if (*subscription)
                m_server.unsubscribe(*subscription, &ignored);
            *subscription = 0;
        }
        return subscribe();
    }

    bool renew()
    {
        std::string error;
        for (int subscription : { m_pull, m_ring }) {
            if (!subscription)
                continue;
            Reply reply = m_server.renew(subscription, m_timing.lease, &error);
            if (reply == Reply::Lost) {
                lost(error);
                return false;
            }
            if (reply == Reply::Refused)
                return subscribeAgain();
        }
        m_renewAt = Clock::now() + m_timing.lease / 2;
        return true;
    }

    // The events since the last ask; *listAgain is set when one tells of a held job.
    bool ask(bool* listAgain)
    {
        if (!m_pull)
            return true;
        Notifications news;
        news.askAgainIn = m_askInterval;
        bool gone = false;
        std::string error;
        m_lastAsk = Clock::now();
        Reply reply = m_server.notifications(m_pull, m_sequence, &news, &gone, &error);
        if (reply == Reply::Lost) {
            lost(error);
            return false;
        }
        if (gone) {
            *listAgain = true;
            return subscribeAgain();
        }
        if (reply == Reply::Refused)
            m_err << "accounting-agent: cannot get the server's events: " << printableText(error) << "\n";
        m_sequence = news.nextSequence;
        m_askInterval = news.askAgainIn;
        m_askAt = Clock::now() + m_askInterval;
        *listAgain = *listAgain || news.heldJobSeen;
        return true;
    }

    // The subscriptions go with the agent, over a connection of their own: the one in use may be
    // in any state.
    void farewell()
    {
        if (!m_pull && !m_ring)
            return;
        ServerJobs server(m_options.server, kFarewellTimeout, StopRequest::IsIgnored);
        std::string error;
        if (server.connect(&error) != Reply::Done)
            return;
        for (int subscription : { m_pull, m_ring }) {
            if (subscription)
                server.unsubscribe(subscription, &error);
        }
    }

    const AgentOptions& m_options;
    AgentTiming m_timing;
    ServerJobs m_server;
    JobHandling m_handling;
    std::ostream& m_err;
    JobBook m_book;
    ServerBell m_bell;
    ProgramFiles m_files;
    bool m_failed { false };
    bool m_bellRefusalTold { false };
    int m_pull { 0 };
    int m_ring { 0 };
    int m_sequence { 1 };
    std::chrono::seconds m_askInterval { 60 };
    std::optional<Clock::time_point> m_askAt;
    Clock::time_point m_lastAsk {};
    std::optional<Clock::time_point> m_renewAt;
    std::optional<Clock::time_point> m_reconnectAt;
    std::chrono::seconds m_reconnectWait { kFirstReconnectWait };
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
    // A job that needs the prompt stays held until the person can be asked: the desk decides.
    std::unique_ptr<PromptDesk> desk = !options.scriptPath.empty() ? makeScriptDesk(script, options.scriptPath)
        : displayAvailable()                                       ? makeScreenDesk()
                                                                   : makeAbsentDesk("it needs the prompt, and there is no screen to show it on and no --script to answer it");
    Agent agent(options, timing, *desk, store, out, err);
    return options.once ? agent.once() : agent.watch(stop, settings);
}
