#include "ConnectionsToServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <utility>

namespace {

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

bool ConnectionsToServer::changed()
{
    if (!following())
        return false;
    std::set<std::string> now;
    for (const char* table : { "/proc/net/tcp", "/proc/net/tcp6" }) {
        FILE* lines = fopen(table, "re");
        if (!lines)
            continue;
        char line[512];
        // The heading, then "SLOT: LOCAL REMOTE STATE ..." for each connection.
        bool heading = true;
        while (fgets(line, sizeof line, lines)) {
            char local[64], remote[64], state[8];
            if (std::exchange(heading, false) || sscanf(line, "%*s %63s %63s %7s", local, remote, state) != 3)
                continue;
            if (remote != m_peer && (m_mappedPeer.empty() || remote != m_mappedPeer))
                continue;
            const char* colon = strrchr(local, ':');
            unsigned port = colon ? static_cast<unsigned>(strtoul(colon + 1, nullptr, 16)) : 0;
            if (std::find(m_ownPorts.begin(), m_ownPorts.end(), port) == m_ownPorts.end())
                now.insert(std::to_string(port) + " " + state);
        }
        fclose(lines);
    }
    bool changed = std::any_of(now.begin(), now.end(), [this](const std::string& entry) { return !m_seen.count(entry); });
    m_seen = std::move(now);
    return changed;
}
