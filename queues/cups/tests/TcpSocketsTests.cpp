// Whose program listens where a connection goes, as the kernel's tables tell it: a socket bound to
// the address itself, or to every address (IPv4's, or IPv6's, which takes IPv4 connections too).
#include "queues/cups/TcpSockets.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

sockaddr_storage address(const std::string& text, unsigned short port)
{
    sockaddr_storage storage {};
    if (text.find(':') == std::string::npos) {
        auto& in = reinterpret_cast<sockaddr_in&>(storage);
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        inet_pton(AF_INET, text.c_str(), &in.sin_addr);
    } else {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        inet_pton(AF_INET6, text.c_str(), &in6.sin6_addr);
    }
    return storage;
}

// A socket of this process's listening at bound, on a port the system chooses.
class Listener {
public:
    explicit Listener(const std::string& bound)
    {
        sockaddr_storage where = address(bound, 0);
        m_socket = socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int no = 0;
        if (where.ss_family == AF_INET6)
            setsockopt(m_socket, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
        socklen_t size = where.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr*>(&where), size) != 0 || listen(m_socket, 1) != 0
            || getsockname(m_socket, reinterpret_cast<sockaddr*>(&where), &size) != 0)
            return;
        m_port = ntohs(where.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(where).sin6_port : reinterpret_cast<sockaddr_in&>(where).sin_port);
    }
    ~Listener()
    {
        if (m_socket >= 0)
            close(m_socket);
    }
    unsigned short port() const { return m_port; }

private:
    int m_socket { -1 };
    unsigned short m_port { 0 };
};

TEST(TcpSockets, TheListenersOwnerIsFoundWhereverItsSocketTakesTheConnection)
{
    struct Case {
        const char* bound;
        const char* reached;
        bool found;
    };
    const std::vector<unsigned> mine { static_cast<unsigned>(geteuid()) };
    for (const Case& row : { Case { "127.0.0.1", "127.0.0.1", true }, Case { "0.0.0.0", "127.0.0.1", true }, Case { "::", "127.0.0.1", true },
             Case { "::", "::1", true }, Case { "::1", "::1", true }, Case { "127.0.0.1", "127.0.0.2", false }, Case { "::1", "127.0.0.1", false } }) {
        SCOPED_TRACE(std::string(row.bound) + " reached at " + row.reached);
        Listener listener(row.bound);
        ASSERT_NE(listener.port(), 0);
        sockaddr_storage reached = address(row.reached, listener.port());
        // A connection it took, not yet accepted, has its address too, and is no listener.
        int client = socket(reached.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (row.found) {
            ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&reached), reached.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in)), 0);
        }
        EXPECT_EQ(listenerOwners(reached), row.found ? mine : std::vector<unsigned>());
        close(client);
    }
}

}
