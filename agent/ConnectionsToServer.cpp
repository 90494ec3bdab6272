#include "agent/ConnectionsToServer.h"

#include "queues/cups/TcpSockets.h"
#include "queues/cups/UnixSockets.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The state of a connection closed here, which the kernel keeps a minute for no user.
constexpr const char* kTimeWait = "06";
// Other users' connections seen open, by local port, the latest few hundred: enough to know
// theirs once closed, within the minute the kernel lists a closed one.
constexpr size_t kOthersPortsKept = 512;
// An hour of seconds in which one of the user's programs was connected to the server.
constexpr size_t kConnectedSecondsKept = 3600;
// Enough of the agent's closed connections to outlast their TIME_WAIT at its pace of asking.
constexpr size_t kOwnPortsKept = 32;

}

void ConnectionsToServer::follow(int socket)
{
    sockaddr_storage peer {};
    sockaddr_storage local {};
    socklen_t peerSize = sizeof peer;
    socklen_t localSize = sizeof local;
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0
        || getsockname(socket, reinterpret_cast<sockaddr*>(&local), &localSize) != 0)
        return;
    if (peer.ss_family == AF_INET || peer.ss_family == AF_INET6) {
        TcpEndpoint server = tcpEndpoint(peer);
        m_peer = server.spelled;
        m_mappedPeer = server.mapped;
    } else if (peer.ss_family == AF_UNIX && peerSize > offsetof(sockaddr_un, sun_path)) {
        // The server's socket by its path: the kernel lists each connection accepted on it so.
        const auto& un = reinterpret_cast<const sockaddr_un&>(peer);
        m_peer = std::string(un.sun_path, strnlen(un.sun_path, peerSize - offsetof(sockaddr_un, sun_path)));
        m_mappedPeer.clear();
        m_socketPath = true;
        return;
    } else {
        return;
    }
    unsigned port = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(local).sin6_port
                                                      : reinterpret_cast<const sockaddr_in&>(local).sin_port);
    if (std::find(m_ownPorts.begin(), m_ownPorts.end(), port) != m_ownPorts.end())
        return;
    m_ownPorts.push_back(port);
    if (m_ownPorts.size() > kOwnPortsKept)
        m_ownPorts.pop_front();
}

// The server's side of each connection to its socket, by its inode: "NUM: REFCOUNT PROTOCOL FLAGS
// TYPE STATE INODE PATH", connected (state 03) and named by the socket's path. The kernel lists no
// user for them, nor which of them is whose.
std::set<std::string> ConnectionsToServer::socketConnections() const
{
    std::set<std::string> now;
    for (const UnixSocketEntry& entry : unixSockets()) {
        if (entry.state == "03" && entry.path == m_peer)
            now.insert(entry.inode);
    }
    return now;
}

bool ConnectionsToServer::changed()
{
    if (!following())
        return false;
    if (m_socketPath) {
        std::set<std::string> now = socketConnections();
        bool changed = std::any_of(now.begin(), now.end(), [this](const std::string& entry) { return !m_seen.count(entry); });
        m_seen = std::move(now);
        return changed;
    }
    std::set<std::string> now;
    bool ownOpen = false;
    for (const TcpSocketEntry& connection : tcpSockets()) {
        const std::string& remote = connection.remote;
        if (remote != m_peer && (m_mappedPeer.empty() || remote != m_mappedPeer))
            continue;
        size_t colon = connection.local.rfind(':');
        unsigned port = colon != std::string::npos ? static_cast<unsigned>(strtoul(connection.local.c_str() + colon + 1, nullptr, 16)) : 0;
        if (std::find(m_ownPorts.begin(), m_ownPorts.end(), port) != m_ownPorts.end())
            continue;
        // Only the user's own programs ring. A connection closed here (TIME_WAIT) is listed as no
        // one's: one seen open as another user's stays theirs, and one closed before a look could
        // see it (a quick print's) rings, at the pace any ring has.
        bool closed = connection.state == kTimeWait;
        if (!closed && connection.user != m_user) {
            if (std::find(m_othersPorts.begin(), m_othersPorts.end(), port) == m_othersPorts.end()) {
                m_othersPorts.push_back(port);
                if (m_othersPorts.size() > kOthersPortsKept)
                    m_othersPorts.pop_front();
            }
            continue;
        }
        if (closed && std::find(m_othersPorts.begin(), m_othersPorts.end(), port) != m_othersPorts.end())
            continue;
        ownOpen = ownOpen || !closed;
        now.insert(std::to_string(port) + " " + connection.state);
    }
    bool changed = std::any_of(now.begin(), now.end(), [this](const std::string& entry) { return !m_seen.count(entry); });
    m_seen = std::move(now);
    m_lastLook = time(nullptr);
    if (!m_watchedSince)
        m_watchedSince = m_lastLook;
    if (ownOpen && (m_connectedAt.empty() || m_connectedAt.back() != m_lastLook)) {
        m_connectedAt.push_back(m_lastLook);
        if (m_connectedAt.size() > kConnectedSecondsKept)
            m_connectedAt.pop_front();
    }
    return changed;
}

ConnectionsToServer::Seen ConnectionsToServer::programConnectedAt(time_t when) const
{
    // A second either side: the server's clock and this one's round apart.
    if (std::any_of(m_connectedAt.begin(), m_connectedAt.end(), [when](time_t seen) { return seen >= when - 1 && seen <= when + 1; }))
        return Seen::Connected;
    return m_watchedSince && when >= m_watchedSince && when <= m_lastLook ? Seen::NoneSeen : Seen::NotWatched;
}
