#include "tests/cups/KerberosRealm.h"

#include "tests/cups/TestNetwork.h"

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

KerberosRealm::~KerberosRealm()
{
    if (m_kdc > 0) {
        kill(m_kdc, SIGTERM);
        waitpid(m_kdc, nullptr, 0);
    }
}

bool KerberosRealm::start(const std::string& network, const std::string& address, std::string* error)
{
    if (access("/usr/sbin/krb5kdc", X_OK) != 0 || access("/usr/sbin/kadmin.local", X_OK) != 0 || access("/usr/bin/kinit", X_OK) != 0) {
        *error = "a Kerberos realm needs krb5kdc, kadmin.local and kinit (scripts/setup installs them)";
        return false;
    }
    std::string root = m_folder.root();
    chmod(root.c_str(), 0755);
    m_folder.addFile("krb5.conf",
        std::string("[libdefaults]\n  default_realm = ") + kRealm
            + "\n  dns_lookup_kdc = false\n  dns_lookup_realm = false\n  dns_canonicalize_hostname = false\n  rdns = false\n[realms]\n  " + kRealm
            + " = {\n    kdc = " + address + ":88\n  }\n");
    chmod(configuration().c_str(), 0644);
    m_folder.addFile("kdc.conf",
        std::string("[kdcdefaults]\n  kdc_ports = 88\n  kdc_tcp_ports = 88\n[realms]\n  ") + kRealm + " = {\n    database_name = " + root
            + "/principal\n    key_stash_file = " + root + "/stash\n    acl_file = " + root + "/kadm5.acl\n  }\n[logging]\n  kdc = FILE:" + root
            + "/kdc.log\n");
    if (!run("kdb5_util create -s -r " + std::string(kRealm) + " -P realm-of-the-test")) {
        *error = "kdb5_util could not make the realm's database";
        return false;
    }
    m_kdc = fork();
    if (m_kdc == 0) {
        if (!network.empty() && !TestNetwork::enter(network))
            _exit(126);
        setenv("KRB5_CONFIG", configuration().c_str(), 1);
        setenv("KRB5_KDC_PROFILE", path("kdc.conf").c_str(), 1);
        execl("/usr/sbin/krb5kdc", "krb5kdc", "-n", "-r", kRealm, nullptr);
        _exit(127);
    }
    // It listens once it has written that it commences.
    for (int tries = 0; tries < 100; ++tries) {
        if (fileContents(path("kdc.log")).find("commencing operation") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    *error = "krb5kdc did not start: " + fileContents(path("kdc.log"));
    return false;
}

bool KerberosRealm::run(const std::string& command) const
{
    std::string environment = "KRB5_CONFIG='" + configuration() + "' KRB5_KDC_PROFILE='" + path("kdc.conf") + "' ";
    return system((environment + command + " >/dev/null 2>&1").c_str()) == 0;
}

bool KerberosRealm::addPrincipal(const std::string& name, const std::string& keytab)
{
    std::string admin = "kadmin.local -r " + std::string(kRealm) + " -q ";
    return run(admin + "'addprinc -randkey " + name + "'") && (keytab.empty() || run(admin + "'ktadd -k " + keytab + " " + name + "'"));
}

std::string KerberosRealm::ticketFor(const std::string& user, const std::string& network, uid_t owner)
{
    std::string keytab = path(user + ".keytab");
    std::string cache = path(user + ".ccache");
    unlink(keytab.c_str());
    unlink(cache.c_str());
    if (!addPrincipal(user, keytab))
        return "";
    // The person's password is the key in the keytab: kinit takes it from there, as a person
    // types theirs.
    std::string enter = network.empty() ? "" : "ip netns exec " + network + " ";
    if (!run(enter + "kinit -k -t '" + keytab + "' -c 'FILE:" + cache + "' " + user) || chown(cache.c_str(), owner, static_cast<gid_t>(-1)) != 0)
        return "";
    unlink(keytab.c_str());
    return "FILE:" + cache;
}

std::vector<std::pair<std::string, std::string>> KerberosRealm::environment(const std::string& cache) const
{
    std::vector<std::pair<std::string, std::string>> variables { { "KRB5_CONFIG", configuration() } };
    if (!cache.empty())
        variables.push_back({ "KRB5CCNAME", cache });
    return variables;
}
