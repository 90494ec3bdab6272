// How the agent learns of what happens to the user's jobs on the server. It keeps the connection
// (made again after the server went, after 1 s and then less and less often), subscribes to the
// server's job events (renewed before the lease ends, made anew when the server forgot them,
// cancelled as the agent ends), and asks for the events when they may have come: at once when the
// bell rings (a server on this machine rings it on the system bus for every event, ServerBell.h),
// else at the pace the server gives. A server on another machine rings no bell here: the agent
// looks for the user's jobs as soon as this computer's connections to the server show a program
// sending it something (ConnectionsToServer.h). A server that has no subscription to give (it has
// as many as it allows) has the user's jobs listed at a steady pace instead, and is asked for one
// again now and then.
#pragma once

#include "agent/Agent.h"
#include "agent/ConnectionsToServer.h"
#include "agent/ServerBell.h"
#include "agent/ServerJobs.h"

#include <chrono>
#include <map>
#include <optional>
#include <ostream>
#include <poll.h>
#include <set>
#include <string>
#include <vector>

class ServerNews {
public:
    using Clock = std::chrono::steady_clock;

    ServerNews(ServerJobs& server, const AgentOptions& options, const AgentTiming& timing, std::ostream& err);

    // What the news amounts to when the agent wakes.
    struct Tidings {
        // The user's jobs should be listed now: an event told of a held job, a program on this
        // computer sent the server something, or the agent has just connected (again) and knows
        // nothing of what happened meanwhile.
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
    // Whether requests may go to the server: it has not gone. The connection itself is made again
    // as a request needs it.
    bool reachable() const { return !m_reconnectAt; }

    // Before the agent sleeps: a server on another machine is left no connection of the agent's
    // to hold while it is idle, or a thousand idle desktops would take a thousand of its clients
    // (MaxClients is 100 by default). The connection closed is the agent's own to the hint.
    void rest();
    // The descriptors to watch while the agent sleeps (the bell, and the idle connection to a
    // server on this machine, whose closing by the server is the only news it can bring), and
    // when to wake at the latest (-1: only when something comes).
    void addDescriptors(std::vector<pollfd>& watched);
    int waitMilliseconds(std::optional<Clock::time_point> other) const;
    // Takes in what woke the agent.
    Tidings wake(const std::vector<pollfd>& watched);
    // Asks for the events now, whatever the pace of asking: a listing that came before the event
    // that tells of a job (a program's connection hinted at it) needs what the event says.
    Tidings catchUp();

    // The subscriptions go with the agent.
    void farewell();

    // This computer's connections to the server, as the agent has watched them.
    const ConnectionsToServer& connections() const { return m_connections; }

private:
    // What the agent does next about a server it lost, as the line that tells of the loss says.
    std::string whatFollows() const;
    // A try at the server again failed: the wait grows.
    void triedInVain(const std::string& why);
    Tidings resume();
    bool subscribe();
    bool subscribeAgain();
    bool openBell();
    // From now on this computer's connections to the server are looked at.
    void watchConnections();
    // The bell cannot ring (why, in words already printable): says so, and what takes its place.
    // How often the events are asked for, the server saying serverSays: a server on this machine
    // without the bell more often.
    std::chrono::seconds paceOfAsking(std::chrono::seconds serverSays) const;
    void withoutTheBell(const std::string& why);
    bool renew();
    bool ask(Tidings* tidings);
    void reconnect(Tidings* tidings);
    // How often the user's jobs are listed while the server gives no subscription.
    std::chrono::seconds listingInterval() const;

    ServerJobs& m_server;
    const AgentOptions& m_options;
    AgentTiming m_timing;
    std::ostream& m_err;
    ServerBell m_bell;
    ConnectionsToServer m_connections;
    // Where the bell and the connection stand among the descriptors watched; -1 when not watched.
    int m_connectionSlot { -1 };
    bool m_bellRefusalTold { false };
    bool m_subscriptionRefusalTold { false };
    bool m_remoteTold { false };
    // The subscription whose events are asked for, and the one CUPS's D-Bus notifier rings.
    int m_eventsSubscription { 0 };
    int m_bellSubscription { 0 };
    int m_sequence { 1 };
    std::chrono::seconds m_askInterval { 60 };
    std::optional<Clock::time_point> m_askAt;
    // The asks made are paid for, at one an interval, until then (a bucket of asks: see
    // kAskBurst).
    Clock::time_point m_asksPaidUntil {};
    std::optional<Clock::time_point> m_renewAt;
    // Without a subscription: when the jobs are listed next, and a subscription asked for again.
    std::optional<Clock::time_point> m_listAt;
    std::optional<Clock::time_point> m_subscribeAt;
    // When this computer's connections to a server on another machine are looked at next, and
    // when the jobs are listed for a change seen among them.
    std::optional<Clock::time_point> m_lookAt;
    std::optional<Clock::time_point> m_hintAt;
    Clock::time_point m_lastHintListing {};
    std::optional<Clock::time_point> m_reconnectAt;
    std::chrono::seconds m_reconnectWait { 1 };
    // Why the server refuses its events, as last told; empty while it gives them.
    std::string m_eventsRefusalTold;
    // Why the server cannot be reached, as last told.
    std::string m_toldWhy;
};
