// How the agent learns of what happens to the user's jobs on the server. It keeps the connection
// (made again after the server went, after 1 s and then less and less often), subscribes to the
// server's job events (renewed before the lease ends, made anew when the server forgot them,
// cancelled as the agent ends), and asks for the events when they may have come: at once when the
// bell rings (a server on this machine rings it on the system bus for every event, ServerBell.h),
// else at the pace the server gives.
#pragma once

#include "Agent.h"
#include "ServerBell.h"
#include "ServerJobs.h"

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <ostream>
#include <poll.h>
#include <string>
#include <vector>

class ServerNews {
public:
    using Clock = std::chrono::steady_clock;

    ServerNews(ServerJobs& server, const AgentOptions& options, const AgentTiming& timing, std::ostream& err);

    // What the news amounts to when the agent wakes.
    struct Tidings {
        // The user's jobs should be listed now: an event told of a held job, or the agent has
        // just connected (again) and knows nothing of what happened meanwhile.
        bool listJobs { false };
        // What the server said of the jobs it held as the printer refused their account.
        std::map<int, std::string> accountRefusals {};
        // The jobs the events told of.
        std::set<int> jobsTold {};
    };

    // Connects and subscribes; when the server cannot be reached, says so and tries again later.
    Tidings start();
    // The server went away (a request found it gone): tried again after a growing wait.
    void lost(const std::string& why);
    bool connected() const { return m_server.socket() >= 0; }

    // The descriptors to watch while the agent sleeps (the bell, and the idle connection, whose
    // closing by the server is the only news it can bring), and when to wake at the latest (-1:
    // only when something comes).
    void addDescriptors(std::vector<pollfd>& watched);
    int waitMilliseconds(std::optional<Clock::time_point> other) const;
    // Takes in what woke the agent.
    Tidings wake(const std::vector<pollfd>& watched);

    // The subscriptions go with the agent.
    void farewell();
    // Whether the server refused the subscription (with --once, the agent's exit status says so).
    bool failed() const { return m_failed; }

private:
    Tidings resume();
    bool subscribe();
    bool subscribeAgain();
    bool openBell();
    bool renew();
    bool ask(Tidings* tidings);
    void reconnect(Tidings* tidings);
    void fail(const std::string& why);

    ServerJobs& m_server;
    const AgentOptions& m_options;
    AgentTiming m_timing;
    std::ostream& m_err;
    ServerBell m_bell;
    // Where the bell and the connection stand among the descriptors watched; -1 when not watched.
    int m_bellSlot { -1 };
    int m_connectionSlot { -1 };
    bool m_failed { false };
    bool m_bellRefusalTold { false };
    // The subscription whose events are asked for, and the one CUPS's D-Bus notifier rings.
    int m_eventsSubscription { 0 };
    int m_bellSubscription { 0 };
    int m_sequence { 1 };
    std::chrono::seconds m_askInterval { 60 };
    std::optional<Clock::time_point> m_askAt;
    Clock::time_point m_lastAsk {};
    std::optional<Clock::time_point> m_renewAt;
    std::optional<Clock::time_point> m_reconnectAt;
    std::chrono::seconds m_reconnectWait { 1 };
    // Why the server cannot be reached, as last told.
    std::string m_toldWhy;
};
