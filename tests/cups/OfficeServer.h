// An office's print server on another machine, set up as the administrators' guide
// says (its cupsd.conf lines for a central server, its policy) and reached over TLS, by the name
// the desktop's client.conf gives as the guide says, from the person's desktop, another network
// namespace. The server knows people in a Kerberos realm of its own, or by their passwords
// (Basic, checked through PAM). Runs as root.
#pragma once

#include "tests/cups/KerberosRealm.h"
#include "tests/cups/PrivateCupsServer.h"
#include "tests/support/TemporaryTree.h"
#include "tests/cups/TestNetwork.h"

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class OfficeServer {
public:
    enum class Proof {
        Kerberos,
        Password,
    };
    static constexpr const char* kServerName = "print.accounting.test";
    // root's password, on a server that takes passwords.
    static constexpr const char* kPassword = "right-PASSWORD";

    OfficeServer() = default;
    OfficeServer(const OfficeServer&) = delete;
    OfficeServer& operator=(const OfficeServer&) = delete;

    // False, with the reason in *error, when the network, the realm or the server does not come up.
    bool start(Proof proof, std::string* error);
    PrivateCupsServer& server() { return m_server; }

    // The Kerberos ticket of user (kinit on the desktop), a cache that uid owns; empty without one.
    std::string ticketFor(const std::string& user, uid_t uid);

    // A program on the desktop, as user, where the server's name leads to it: home is its HOME and
    // runtime folder; the ticket, when given, its KRB5CCNAME; environment more NAME=VALUE.
    std::vector<std::string> onTheDesktop(const std::vector<std::string>& command, const std::string& user, const std::string& home,
        const std::string& ticket = "", const std::vector<std::string>& environment = {}) const;

private:
    TestNetwork m_network;
    std::unique_ptr<KerberosRealm> m_realm;
    PrivateCupsServer m_server;
    TemporaryTree m_hosts;
};
