// A socket between a client and a CUPS server's socket that passes every request on but those of
// one IPP operation: of those it drops the server's answer once the server did what was asked
// ("200 OK"; a demand for credentials goes through), or the request's body, which the server
// then never has. Either way the client's connection is closed at that moment, as when a network
// or a server's process fails. In a process of its own, each connection in one of its own; it
// ends by itself after a few seconds.
#pragma once

#include <string>
#include <sys/types.h>

class DroppingProxy {
public:
    DroppingProxy() = default;
    ~DroppingProxy();
    DroppingProxy(const DroppingProxy&) = delete;
    DroppingProxy& operator=(const DroppingProxy&) = delete;

    enum class Drop {
        Answer,
        Request,
    };
    // Listens at path, for server (a socket's path); operation: the IPP operation's number
    // (IPP_OP_CREATE_JOB, IPP_OP_SEND_DOCUMENT).
    bool start(const std::string& path, const std::string& server, int operation, Drop drop = Drop::Answer);

private:
    pid_t m_child { -1 };
};
