#include "tests/cups/DroppingProxy.h"

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr unsigned kLifetimeSeconds = 30;

bool socketAddress(const std::string& path, sockaddr_un* address)
{
    *address = {};
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path)
        return false;
    memcpy(address->sun_path, path.c_str(), path.size());
    return true;
}

bool sendAll(int connection, const char* bytes, size_t size)
{
    while (size > 0) {
        ssize_t count = send(connection, bytes, size, MSG_NOSIGNAL);
        if (count <= 0)
            return false;
        bytes += count;
        size -= static_cast<size_t>(count);
    }
    return true;
}

// Follows the client's requests through their heads and bodies (sized, or in chunks), for the
// IPP operation of each: the body's bytes 3 and 4.
class RequestReader {
public:
    explicit RequestReader(int dropped)
        : m_dropped(dropped)
    {
    }

    void read(const char* bytes, size_t size)
    {
        for (size_t i = 0; i < size; ++i)
            take(bytes[i]);
    }

    // The request now going, or last gone, asks for the operation dropped.
    bool dropped() const { return m_operation == m_dropped; }

private:
    enum class Part {
        Head,
        SizedBody,
        ChunkSize,
        ChunkData,
        ChunkEnd,
        Trailer,
    };

    void take(char byte)
    {
        switch (m_part) {
        case Part::Head:
            m_line += static_cast<char>(tolower(static_cast<unsigned char>(byte)));
            if (m_line.size() >= 4 && m_line.compare(m_line.size() - 4, 4, "\r\n\r\n") == 0)
                startBody();
            return;
        case Part::SizedBody:
            body(byte);
            if (--m_left == 0)
                m_part = Part::Head;
            return;
        case Part::ChunkSize:
            m_line += byte;
            if (byte == '\n') {
                m_left = strtoul(m_line.c_str(), nullptr, 16);
                m_line.clear();
                m_part = m_left ? Part::ChunkData : Part::Trailer;
            }
            return;
        case Part::ChunkData:
            body(byte);
            if (--m_left == 0)
                m_part = Part::ChunkEnd;
            return;
        case Part::ChunkEnd:
            if (byte == '\n')
                m_part = Part::ChunkSize;
            return;
        case Part::Trailer:
            m_line += byte;
            if (byte == '\n') {
                m_part = m_line == "\r\n" ? Part::Head : Part::Trailer;
                m_line.clear();
            }
            return;
        }
    }

    void startBody()
    {
        std::string head = m_line;
        m_line.clear();
        m_operation = -1;
        m_bodyStart.clear();
        size_t length = head.find("content-length:");
        m_left = length == std::string::npos ? 0 : strtoul(head.c_str() + length + 15, nullptr, 10);
        m_part = head.find("transfer-encoding: chunked") != std::string::npos ? Part::ChunkSize : m_left ? Part::SizedBody
                                                                                                         : Part::Head;
    }

    void body(char byte)
    {
        if (m_bodyStart.size() >= 4)
            return;
        m_bodyStart += byte;
        if (m_bodyStart.size() == 4)
            m_operation = static_cast<unsigned char>(m_bodyStart[2]) << 8 | static_cast<unsigned char>(m_bodyStart[3]);
    }

    int m_dropped;
    Part m_part { Part::Head };
    std::string m_line;
    std::string m_bodyStart;
    size_t m_left { 0 };
    int m_operation { -1 };
};

// One client's connection, to its end or to what is dropped.
void relay(int client, const std::string& server, int dropped, DroppingProxy::Drop drop)
{
    sockaddr_un address;
    int upstream = socket(AF_UNIX, SOCK_STREAM, 0);
    if (upstream < 0 || !socketAddress(server, &address) || connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return;
    RequestReader requests(dropped);
    char buffer[64 * 1024];
    for (;;) {
        pollfd both[2] = { { client, POLLIN, 0 }, { upstream, POLLIN, 0 } };
        if (poll(both, 2, -1) <= 0)
            return;
        if (both[0].revents) {
            ssize_t count = recv(client, buffer, sizeof buffer, 0);
            if (count > 0)
                requests.read(buffer, static_cast<size_t>(count));
            // The body comes after the server's "100 Continue", in writes of its own.
            if (count <= 0 || (drop == DroppingProxy::Drop::Request && requests.dropped()) || !sendAll(upstream, buffer, static_cast<size_t>(count)))
                return;
        }
        if (both[1].revents) {
            ssize_t count = recv(upstream, buffer, sizeof buffer, 0);
            // The server has answered the request whole: a "100 Continue" comes before the body,
            // whose first bytes name the operation. Only an answer of the operation done is
            // dropped; a demand for credentials has the request come again.
            bool done = count >= 12 && std::string_view(buffer + 9, 3) == "200";
            if (count <= 0 || (drop == DroppingProxy::Drop::Answer && requests.dropped() && done) || !sendAll(client, buffer, static_cast<size_t>(count)))
                return;
        }
    }
}

}

DroppingProxy::~DroppingProxy()
{
    if (m_child > 0) {
        kill(m_child, SIGKILL);
        waitpid(m_child, nullptr, 0);
    }
}

bool DroppingProxy::start(const std::string& path, const std::string& server, int operation, Drop drop)
{
    sockaddr_un address;
    int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0 || !socketAddress(path, &address) || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(listener, 8) != 0) {
        if (listener >= 0)
            close(listener);
        return false;
    }
    m_child = fork();
    if (m_child == 0) {
        alarm(kLifetimeSeconds);
        signal(SIGCHLD, SIG_IGN);
        for (;;) {
            int client = accept(listener, nullptr, nullptr);
            if (client < 0)
                _exit(1);
            if (fork() == 0) {
                alarm(kLifetimeSeconds);
                relay(client, server, operation, drop);
                _exit(0);
            }
            close(client);
        }
    }
    close(listener);
    return m_child > 0;
}
