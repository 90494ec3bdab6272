#include "queues/cups/TcpSockets.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <utility>

namespace {

constexpr const char* kListening = "0A";

// The kernel prints each 32-bit word of an address as the number it reads in this machine's
// order, in hexadecimal.
std::string word(uint32_t value)
{
    char text[9];
    snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string withPort(const std::string& address, unsigned port)
{
    char text[8];
    snprintf(text, sizeof text, ":%04X", port);
    return address + text;
}

}

std::vector<TcpSocketEntry> tcpSockets()
{
    std::vector<TcpSocketEntry> entries;
    for (const char* table : { "/proc/net/tcp", "/proc/net/tcp6" }) {
        FILE* lines = fopen(table, "re");
        if (!lines)
            continue;
        char line[512];
        bool heading = true;
        while (fgets(line, sizeof line, lines)) {
            char local[64], remote[64], state[8];
            unsigned user = 0;
            if (std::exchange(heading, false) || sscanf(line, "%*s %63s %63s %7s %*s %*s %*s %u", local, remote, state, &user) != 4)
                continue;
            entries.push_back({ local, remote, state, user });
        }
        fclose(lines);
    }
    return entries;
}

TcpEndpoint tcpEndpoint(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        unsigned port = ntohs(in.sin_port);
        // ::ffff:a.b.c.d, its third word the bytes 00 00 FF FF.
        const unsigned char mappedBytes[4] = { 0, 0, 0xFF, 0xFF };
        uint32_t mapped = 0;
        memcpy(&mapped, mappedBytes, sizeof mapped);
        return { withPort(word(in.sin_addr.s_addr), port), withPort(word(0) + word(0) + word(mapped) + word(in.sin_addr.s_addr), port) };
    }
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        uint32_t words[4];
        memcpy(words, &in6.sin6_addr, sizeof words);
        return { withPort(word(words[0]) + word(words[1]) + word(words[2]) + word(words[3]), ntohs(in6.sin6_port)), "" };
    }
    return {};
}

std::vector<unsigned> listenerOwners(const sockaddr_storage& address)
{
    TcpEndpoint endpoint = tcpEndpoint(address);
    if (endpoint.spelled.empty())
        return {};
    std::string port = endpoint.spelled.substr(endpoint.spelled.rfind(':'));
    std::string anyIPv4 = word(0) + port;
    std::string anyIPv6 = word(0) + word(0) + word(0) + word(0) + port;
    std::vector<unsigned> owners;
    for (const TcpSocketEntry& entry : tcpSockets()) {
        const std::string& at = entry.local;
        bool takes = at == endpoint.spelled || at == anyIPv6 || (!endpoint.mapped.empty() && (at == endpoint.mapped || at == anyIPv4));
        if (entry.state == kListening && takes)
            owners.push_back(entry.user);
    }
    return owners;
}
