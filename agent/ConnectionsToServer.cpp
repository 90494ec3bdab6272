#include "ConnectionsToServer.h"

#include "UnixSockets.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <cstddef>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

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

// The kernel prints each 32-bit word of an address as the number it reads in this machine's
// order, in hexadecimal.
std::string word(uint32_t value)
{
    char text[9];
    snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string endpoint(const std::string& address, unsigned port)
{
    char text[8];
    snprintf(text, sizeof text, ":%04X", port);
    return address + text;
}

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
    if (peer.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(peer);
        m_peer = endpoint(word(in.sin_addr.s_addr), ntohs(in.sin_port));
        // ::ffff:a.b.c.d, its third word the bytes 00 00 FF FF.
        const unsigned char mappedBytes[4] = { 0, 0, 0xFF, 0xFF };
        uint32_t mapped = 0;
        memcpy(&mapped, mappedBytes, sizeof mapped);
        m_mappedPeer = endpoint(word(0) + word(0) + word(mapped) + word(in.sin_addr.s_addr), ntohs(in.sin_port));
    } else if (peer.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(peer);
        uint32_t words[4];
        memcpy(words, &in6.sin6_addr, sizeof words);
        m_peer = endpoint(word(words[0]) + word(words[1]) + word(words[2]) + word(words[3]), ntohs(in6.sin6_port));
        m_mappedPeer.clear();
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
    for (const char* table : { "/proc/net/tcp", "/proc/net/tcp6" }) {
        FILE* lines = fopen(table, "re");
        if (!lines)
            continue;
        char line[512];
        // The heading, then "SLOT: LOCAL REMOTE STATE QUEUES TIMER RETRANSMITS UID ..." for each
        // connection.
        bool heading = true;
        while (fgets(line, sizeof line, lines)) {
            char local[64], remote[64], state[8];
            unsigned user = 0;
            if (std::exchange(heading, false) || sscanf(line, "%*s %63s %63s %7s %*s %*s %*s %u", local, remote, state, &user) != 4)
                continue;
            if (remote != m_peer && (m_mappedPeer.empty() || remote != m_mappedPeer))
                continue;
            const char* colon = strrchr(local, ':');
            unsigned port = colon ? static_cast<unsigned>(strtoul(colon + 1, nullptr, 16)) : 0;
            if (std::find(m_ownPorts.begin(), m_ownPorts.end(), port) != m_ownPorts.end())
                continue;
            // Only the user's own programs ring. A connection closed here (TIME_WAIT) is listed
            // as no one's: one seen open as another user's stays theirs, and one closed before a
            // look could see it (a quick print's) rings, at the pace any ring has.
            bool closed = strcmp(state, kTimeWait) == 0;
            if (!closed && user != m_user) {
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
            now.insert(std::to_string(port) + " " + state);
        }
        fclose(lines);
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
