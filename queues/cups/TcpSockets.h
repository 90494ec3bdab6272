// The TCP sockets of this machine as the kernel lists them (/proc/net/tcp and /proc/net/tcp6),
// in the network namespace of the process that reads them, which is the one its own connections
// are made in: whose program listens where a connection of this process goes, and which
// connections others have made to a server.
#pragma once

#include "program/ProgramsExport.h"

#include <string>
#include <sys/socket.h>
#include <vector>

// One line of the tables: "SLOT: LOCAL REMOTE STATE QUEUES TIMER RETRANSMITS UID ...".
struct TcpSocketEntry {
    // "ADDRESS:PORT" in hexadecimal as the kernel writes them (tcpEndpoint).
    std::string local;
    std::string remote;
    std::string state; // "0A" for one that listens, "06" for one closed here (TIME_WAIT)
    // Whose it is: the user whose program made it, or accepted the connection; 0 for one closed
    // here, which is no one's.
    unsigned user { 0 };
};

PROGRAMS_EXPORT std::vector<TcpSocketEntry> tcpSockets();

// An address and its port as the tables write them: "0100007F:0277" for 127.0.0.1:631 on this
// machine's byte order, with an IPv4 one also as an IPv6 socket holds it (::ffff:127.0.0.1).
// Empty for an address of another family.
struct TcpEndpoint {
    std::string spelled;
    std::string mapped;
};
PROGRAMS_EXPORT TcpEndpoint tcpEndpoint(const sockaddr_storage& address);

// The users whose sockets listen where a connection to address is taken: bound to it, or to
// every address (of its family, or IPv6's, which takes IPv4 connections too). Empty when none
// listens there.
PROGRAMS_EXPORT std::vector<unsigned> listenerOwners(const sockaddr_storage& address);
