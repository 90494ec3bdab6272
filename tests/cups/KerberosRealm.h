// A Kerberos realm of the test's own: its KDC (Debian's krb5kdc) on an address of a network
// namespace, its database, configuration and keytabs in a temporary folder, nothing of the
// machine's own Kerberos touched. It gives a server its keytab and a person their ticket, as an
// office's realm does.
#pragma once

#include "tests/support/TemporaryTree.h"

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

class KerberosRealm {
public:
    static constexpr const char* kRealm = "ACCOUNTING.TEST";

    KerberosRealm() = default;
    ~KerberosRealm();
    KerberosRealm(const KerberosRealm&) = delete;
    KerberosRealm& operator=(const KerberosRealm&) = delete;

    // The KDC listening on address port 88 in the network namespace network (empty: this one).
    // False, with the reason in *error, where krb5kdc is not installed or would not start.
    bool start(const std::string& network, const std::string& address, std::string* error);
    // A principal of the realm ("alice", "host/print.example.test") with a random key, and, when
    // keytab is given, that key written into it.
    bool addPrincipal(const std::string& name, const std::string& keytab = "");
    // A ticket for user (a principal added before) in a credentials cache of its own that only
    // owner may read, got from the KDC from within the network namespace network. The cache's
    // name for KRB5CCNAME, or empty when kinit failed.
    std::string ticketFor(const std::string& user, const std::string& network, uid_t owner);

    // The realm's krb5.conf, for KRB5_CONFIG: no name is looked up in DNS nor canonicalised.
    std::string configuration() const { return m_folder.path("krb5.conf"); }
    // KRB5_CONFIG, and, with a cache, KRB5CCNAME.
    std::vector<std::pair<std::string, std::string>> environment(const std::string& cache = "") const;
    std::string path(const std::string& relative) const { return m_folder.path(relative); }

private:
    bool run(const std::string& command) const;

    TemporaryTree m_folder;
    pid_t m_kdc { -1 };
};
