#include "FakeHttpServer.h"

#include "TestNetwork.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr unsigned kLifetimeSeconds = 10;

bool sendText(int connection, const std::string& text)
{
    return send(connection, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Reads one request's head; false when the client has gone.
bool readRequest(int connection)
{
    std::string head;
    char c;
    while (head.size() < 65536 && head.find("\r\n\r\n") == std::string::npos) {
        if (recv(connection, &c, 1, 0) != 1)
            return false;
        head += c;
    }
    return true;
}

void serve(int connection, FakeHttpServer::Behaviour behaviour)
{
    const std::string ppdHead = "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.cups-ppd\r\nConnection: close\r\n\r\n";
    switch (behaviour) {
    case FakeHttpServer::Behaviour::EndlessPPD: {
        if (!readRequest(connection) || !sendText(connection, ppdHead + "*PPD-Adobe: \"4.3\"\n"))
            return;
        std::string line = "*% " + std::string(4093, 'x') + "\n";
        while (sendText(connection, line)) {
        }
        return;
    }
    case FakeHttpServer::Behaviour::Silent: {
        char buffer[4096];
        while (recv(connection, buffer, sizeof buffer, 0) > 0) {
        }
        return;
    }
    case FakeHttpServer::Behaviour::Trickling: {
        if (!readRequest(connection) || !sendText(connection, ppdHead))
            return;
        while (sendText(connection, "*"))
            usleep(100000);
        return;
    }
    case FakeHttpServer::Behaviour::Plain:
        while (readRequest(connection) && sendText(connection, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")) {
        }
        return;
    }
}

}

FakeHttpServer::~FakeHttpServer()
{
    if (m_child > 0) {
        kill(m_child, SIGKILL);
        waitpid(m_child, nullptr, 0);
    }
}

bool FakeHttpServer::start(Behaviour behaviour, const std::string& address, const std::string& network)
{
    int portPipe[2];
    if (pipe(portPipe) != 0)
        return false;
    m_child = fork();
    if (m_child == 0) {
        close(portPipe[0]);
        alarm(kLifetimeSeconds);
        sockaddr_in bound {};
        bound.sin_family = AF_INET;
        socklen_t size = sizeof bound;
        int listener = -1;
        if ((network.empty() || TestNetwork::enter(network)) && inet_pton(AF_INET, address.c_str(), &bound.sin_addr) == 1)
            listener = socket(AF_INET, SOCK_STREAM, 0);
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 || listen(listener, 8) != 0
            || getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &size) != 0)
            _exit(1);
        unsigned short port = ntohs(bound.sin_port);
        if (write(portPipe[1], &port, sizeof port) != sizeof port)
            _exit(1);
        close(portPipe[1]);
        // One client at a time is all a test needs; each connection is served to its end.
        for (;;) {
            int connection = accept(listener, nullptr, nullptr);
            if (connection < 0)
                _exit(1);
            serve(connection, behaviour);
            close(connection);
        }
    }
    close(portPipe[1]);
    unsigned short port = 0;
    bool started = m_child > 0 && read(portPipe[0], &port, sizeof port) == sizeof port;
    close(portPipe[0]);
    m_server = address + ":" + std::to_string(port);
    return started;
}
