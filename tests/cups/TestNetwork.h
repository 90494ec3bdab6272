// Two network namespaces of the test's own joined by a veth pair: a server in one and a client
// in the other see each other at real addresses of another host, and nothing can leave the
// machine, since neither namespace has any other way out.
#pragma once

#include <string>

class TestNetwork {
public:
    TestNetwork() = default;
    // Removes both namespaces, and the veth pair with them.
    ~TestNetwork();
    TestNetwork(const TestNetwork&) = delete;
    TestNetwork& operator=(const TestNetwork&) = delete;

    // False, with the reason in *error, where the system allows no network namespaces.
    bool create(std::string* error);

    const std::string& serverSide() const { return m_server; }
    const std::string& clientSide() const { return m_client; }
    // The server side's address, from documentation space: no real host has it.
    static constexpr const char* kServerAddress = "192.0.2.1";
    static constexpr const char* kClientAddress = "192.0.2.2";

    // The current process moves into one of the namespaces (for a forked child).
    static bool enter(const std::string& name);

    // A TCP port of this namespace's loopback address that nothing listens on now.
    static int freeLoopbackPort();
    // A TCP listener on this namespace's loopback address, at a port the system chooses (its
    // number in *port); -1 where none can be made.
    static int loopbackListener(int* port);

private:
    std::string m_server;
    std::string m_client;
};
