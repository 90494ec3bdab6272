// This computer's TCP connections to a CUPS server on another machine, as the kernel lists them
// (/proc/net/tcp and /proc/net/tcp6), or to the socket of one on this machine that rings no bell
// (/proc/net/unix). The server's events ring no bell here, but a program that
// prints to it opens a connection and closes it once the job is there: a connection that comes,
// or changes state, tells the agent to look for the user's jobs now rather than at the server's
// pace. Only the user's own connections count (the kernel lists each open one with its user):
// another user's would have the agent list jobs at their whim. A connection closed before a look
// saw it open is listed with no user; it counts unless it was seen open as another user's, or a
// quick print would wait for the server's pace (the agent lists at most once a second for
// them, ServerNews.cpp). The agent's own connections are left out.
#pragma once

#include <ctime>
#include <deque>
#include <set>
#include <string>
#include <unistd.h>

class ConnectionsToServer {
public:
    // Follows the connections to the server at the other end of socket, the agent's connection
    // to it, which is left out like every earlier one. A connection to the server's own socket
    // on this machine has every connection to that socket followed, whoever made it: the kernel
    // does not say whose they are, nor which is the agent's.
    void follow(int socket);
    bool following() const { return !m_peer.empty(); }
    // Whether a connection not the agent's own came, or changed state, since the last look.
    bool changed();

    // What the looks saw at a moment (a job's time-at-creation, by this computer's clock): a
    // program of the user's connected to the server then, none seen, or no look then.
    enum class Seen {
        Connected,
        NoneSeen,
        NotWatched,
    };
    Seen programConnectedAt(time_t when) const;

private:
    std::set<std::string> socketConnections() const;

    // The server's end as the kernel writes it (or the path of its socket), "ADDRESS:PORT" in hexadecimal, and the same for an
    // IPv4 server reached through an IPv6 socket.
    std::string m_peer;
    std::string m_mappedPeer;
    bool m_socketPath { false };
    // The local ports of the agent's own connections, the latest few: one it closed lingers a
    // while.
    std::deque<unsigned> m_ownPorts;
    // The local ports of other users' connections seen open, the latest few hundred.
    std::deque<unsigned> m_othersPorts;
    // "LOCAL-PORT STATE" of each other connection at the last look.
    std::set<std::string> m_seen;
    unsigned m_user { static_cast<unsigned>(geteuid()) };
    // Since when the connections are looked at, and the seconds in which a look saw one of the
    // user's programs connected, the latest few thousand.
    time_t m_watchedSince { 0 };
    time_t m_lastLook { 0 };
    std::deque<time_t> m_connectedAt;
};
