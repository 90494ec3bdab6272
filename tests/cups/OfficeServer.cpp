#include "tests/cups/OfficeServer.h"

#include "tests/support/ReachableCopies.h"
#include "tests/support/GuideBlocks.h"

#include <pwd.h>
#include <sys/stat.h>

bool OfficeServer::start(Proof proof, std::string* error)
{
    if (proof == Proof::Kerberos)
        m_realm = std::make_unique<KerberosRealm>();
    // The desktop knows the server by its name, as an office's DNS tells it: Kerberos names the
    // server's principal so, and libcups asks for no ticket for a bare address. Its /etc/cups holds
    // the client.conf the administrators' guide gives.
    m_hosts.addFile("hosts", std::string(TestNetwork::kServerAddress) + " " + kServerName + "\n");
    chmod(m_hosts.root().c_str(), 0755);
    chmod(m_hosts.path("hosts").c_str(), 0644);
    std::vector<std::string> blocks
        = guideBlocks(kAdministratorsGuide, "## A central server for the office's desktops", { { "print.example.com", kServerName }, { "192.168.10.0/24", "192.0.2.0/24" } });
    if (blocks.size() < 2) {
        *error = "the administrators' guide's section on a central server has no cupsd.conf lines and client.conf line";
        return false;
    }
    m_hosts.addFile("cups/client.conf", blocks[1]);
    chmod(m_hosts.path("cups").c_str(), 0755);
    chmod(m_hosts.path("cups/client.conf").c_str(), 0644);
    PrivateCupsServer::Setup setup;
    setup.holdingQueues = true;
    setup.configuration = blocks[0];
    // Debian's libcups asks for the server's "host" service (client.conf's GSSServiceName).
    std::string keytab = m_realm ? m_realm->path("server.keytab") : "";
    if (m_realm) {
        setup.configuration += "DefaultAuthType Negotiate\n";
        setup.environment = { { "KRB5_KTNAME", keytab }, { "KRB5_CONFIG", m_realm->configuration() } };
    } else {
        setup.passwords = { { "root", kPassword } };
    }
    if (!m_network.create(error))
        return false;
    setup.network = m_network.serverSide();
    if (m_realm && !m_realm->start(m_network.serverSide(), TestNetwork::kServerAddress, error))
        return false;
    if (m_realm && !m_realm->addPrincipal(std::string("host/") + kServerName, keytab)) {
        *error = "no keytab for the server";
        return false;
    }
    return m_server.start(setup, error);
}

std::string OfficeServer::ticketFor(const std::string& user, uid_t uid)
{
    return m_realm ? m_realm->ticketFor(user, m_network.clientSide(), uid) : "";
}

std::vector<std::string> OfficeServer::onTheDesktop(const std::vector<std::string>& command, const std::string& user, const std::string& home,
    const std::string& ticket, const std::vector<std::string>& environment) const
{
    const passwd* account = getpwnam(user.c_str());
    std::string uid = std::to_string(account ? account->pw_uid : 65534);
    std::string gid = std::to_string(account ? account->pw_gid : 65534);
    std::vector<std::string> arguments { "/usr/bin/unshare", "--mount", "--", "/bin/sh", "-c",
        "mount --bind \"$0/hosts\" /etc/hosts && mount --bind \"$0/cups\" /etc/cups && exec \"$@\"", m_hosts.root(), "/usr/bin/nsenter",
        "--net=/run/netns/" + m_network.clientSide(), "--setgid=" + gid, "--setuid=" + uid, "--", "/usr/bin/env", "HOME=" + home,
        "XDG_RUNTIME_DIR=" + home, "LANGUAGE=", "LC_ALL=", "LC_MESSAGES=", "LANG=C.UTF-8", "DISPLAY=", "WAYLAND_DISPLAY=" };
    if (m_realm)
        arguments.push_back("KRB5_CONFIG=" + m_realm->configuration());
    if (!ticket.empty())
        arguments.push_back("KRB5CCNAME=" + ticket);
    arguments.insert(arguments.end(), environment.begin(), environment.end());
    for (const auto& [name, value] : sanitizerOptionsFor(user))
        arguments.push_back(name + "=" + value);
    for (const std::string& part : command)
        arguments.push_back(reachableBy(user, part));
    return arguments;
}
