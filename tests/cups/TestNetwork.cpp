#include "tests/cups/TestNetwork.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

TestNetwork::~TestNetwork()
{
    for (const std::string* name : { &m_server, &m_client }) {
        if (!name->empty())
            system(("ip netns delete " + *name + " 2>/dev/null").c_str());
    }
}

bool TestNetwork::create(std::string* error)
{
    std::string suffix = std::to_string(getpid());
    std::string server = "pdtest-server-" + suffix;
    std::string client = "pdtest-client-" + suffix;
    if (system(("ip netns add " + server + " 2>/dev/null").c_str()) != 0) {
        *error = "no network namespace can be made here (ip netns add failed)";
        return false;
    }
    m_server = server;
    if (system(("ip netns add " + client).c_str()) != 0) {
        *error = "ip netns add failed";
        return false;
    }
    m_client = client;
    std::string commands = "ip link add veth0 netns " + server + " type veth peer name veth0 netns " + client
        + " && ip -n " + server + " address add " + kServerAddress + "/24 dev veth0"
        + " && ip -n " + client + " address add " + kClientAddress + "/24 dev veth0"
        + " && ip -n " + server + " link set lo up && ip -n " + server + " link set veth0 up"
        + " && ip -n " + client + " link set lo up && ip -n " + client + " link set veth0 up";
    if (system(commands.c_str()) != 0) {
        *error = "the veth pair between the test's namespaces could not be made";
        return false;
    }
    return true;
}

bool TestNetwork::enter(const std::string& name)
{
    int network = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    bool entered = network >= 0 && setns(network, CLONE_NEWNET) == 0;
    if (network >= 0)
        close(network);
    return entered;
}

int TestNetwork::freeLoopbackPort()
{
    int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (probe < 0 || bind(probe, reinterpret_cast<sockaddr*>(&address), size) != 0
        || getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        address.sin_port = 0;
    if (probe >= 0)
        close(probe);
    return ntohs(address.sin_port);
}

int TestNetwork::loopbackListener(int* port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 16) != 0
        || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listener >= 0)
            close(listener);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return listener;
}
