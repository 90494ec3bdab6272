// This computer's TCP connections to a CUPS server on another machine, as the kernel lists them
// (/proc/net/tcp and /proc/net/tcp6). The server's events ring no bell here, but a program that
// prints to it opens a connection and closes it once the job is there: a connection that comes,
// or changes state, tells the agent to look for the user's jobs now rather than at the server's
// pace. The agent's own connections are left out.
#pragma once

#include <deque>
#include <set>
#include <string>

class ConnectionsToServer {
public:
    // Follows the connections to the server at the other end of socket, the agent's connection
    // to it, which is left out like every earlier one. A socket that is not TCP is not followed.
    void follow(int socket);
    bool following() const { return !m_peer.empty(); }
    // Whether a connection not the agent's own came, or changed state, since the last look.
    bool changed();

private:
    // The server's end as the kernel writes it, "ADDRESS:PORT" in hexadecimal, and the same for an
    // IPv4 server reached through an IPv6 socket.
    std::string m_peer;
    std::string m_mappedPeer;
    // The local ports of the agent's own connections, the latest few: one it closed lingers a
    // while.
    std::deque<unsigned> m_ownPorts;
    // "LOCAL-PORT STATE" of each other connection at the last look.
    std::set<std::string> m_seen;
};
