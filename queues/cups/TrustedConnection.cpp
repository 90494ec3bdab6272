#include "queues/cups/TrustedConnection.h"

#include "queues/cups/KeptCertificates.h"
#include "queues/cups/UnixSockets.h"

#include "program/ProcessGuards.h"
#include "program/Seconds.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

bool isSocket(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// libcups calls every failed connection "Host is down"; one plain connect says why it failed.
int connectFailure(http_addrlist_t* addresses, std::chrono::milliseconds wait)
{
    int number = EHOSTUNREACH;
    for (http_addrlist_t* address = addresses; address; address = address->next) {
        int probe = socket(httpAddrFamily(&address->addr), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (probe < 0) {
            number = errno;
            continue;
        }
        number = connect(probe, &address->addr.addr, static_cast<socklen_t>(httpAddrLength(&address->addr))) == 0 ? 0 : errno;
        if (number == EINPROGRESS) {
            pollfd connecting = { probe, POLLOUT, 0 };
            socklen_t size = sizeof number;
            if (poll(&connecting, 1, static_cast<int>(wait.count())) != 1 || getsockopt(probe, SOL_SOCKET, SO_ERROR, &number, &size) != 0)
                number = ETIMEDOUT;
        }
        close(probe);
        if (number == 0)
            break;
    }
    return number;
}

std::vector<unsigned char> firstCertificate(cups_array_t* credentials)
{
    auto* first = static_cast<http_credential_t*>(cupsArrayFirst(credentials));
    if (!first || !first->data)
        return {};
    auto* bytes = static_cast<const unsigned char*>(first->data);
    return std::vector<unsigned char>(bytes, bytes + first->datalen);
}

// The certificate the connection's peer showed, as its DER bytes.
std::vector<unsigned char> peerCertificate(http_t* http)
{
    cups_array_t* credentials = nullptr;
    if (httpCopyCredentials(http, &credentials) != 0 || !credentials)
        return {};
    std::vector<unsigned char> certificate = firstCertificate(credentials);
    httpFreeCredentials(credentials);
    return certificate;
}

// Why a server is not trusted, beginning with the server.
std::string untrusted(const std::string& server, const std::string& why)
{
    return server + " shows a certificate that cannot be trusted: " + why;
}

// Whether a socket is one that only root can have made or replaced, as cupsd's is: anyone may make
// a socket named cups.sock and have it answer as a copy of the server would, to get the codes.
bool isRootsSocket(const std::string& path)
{
    struct stat socket;
    struct stat folder;
    std::string parent = path.substr(0, std::max<size_t>(path.rfind('/'), 1));
    return stat(path.c_str(), &socket) == 0 && S_ISSOCK(socket.st_mode) && socket.st_uid == 0 && stat(parent.c_str(), &folder) == 0
        && folder.st_uid == 0 && (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}

std::string lastCupsError()
{
    const char* text = cupsLastErrorString();
    return text && *text ? text : "no reason given";
}

std::vector<std::string> cupsSocketCandidates()
{
    // However many CUPS servers run here, looking for the one a connection reached costs a
    // bounded number of requests.
    constexpr size_t kMostSocketCandidates = 16;
    std::vector<std::string> candidates;
    auto add = [&](const std::string& path) {
        char real[PATH_MAX];
        std::string resolved = realpath(path.c_str(), real) ? real : "";
        if (!resolved.empty() && isRootsSocket(resolved) && std::find(candidates.begin(), candidates.end(), resolved) == candidates.end())
            candidates.push_back(resolved);
    };
    add("/run/cups/cups.sock");
    for (const UnixSocketEntry& entry : unixSockets()) {
        if (candidates.size() >= kMostSocketCandidates)
            break;
        // A stream socket that listens, named as CUPS names its own.
        const std::string& name = entry.path;
        if (entry.flags == "00010000" && entry.type == "0001" && name.size() >= 10 && name[0] == '/'
            && name.compare(name.size() - 10, 10, "/cups.sock") == 0)
            add(name);
    }
    return candidates;
}

TrustedConnection::~TrustedConnection()
{
    if (m_http)
        httpClose(m_http);
}

int TrustedConnection::socket() const
{
    return httpGetFd(m_http);
}

std::string TrustedConnection::address(const std::string& server)
{
    // cupsSetServer splits HOST:PORT into what cupsServer() and ippPort() give, and without a
    // server they give the user's default one.
    cupsSetServer(server.empty() ? nullptr : server.c_str());
    std::string host = cupsServer();
    return host[0] == '/' ? host : host + ":" + std::to_string(ippPort());
}

std::string TrustedConnection::key(const std::string& server)
{
    std::string at = address(server);
    if (at[0] == '/') {
        char real[PATH_MAX];
        return realpath(at.c_str(), real) ? real : at;
    }
    size_t port = at.rfind(':');
    for (size_t i = 0; i < port; ++i)
        at[i] = static_cast<char>(tolower(static_cast<unsigned char>(at[i])));
    return at;
}

bool TrustedConnection::open(const CupsDestination& destination, std::string* error)
{
    m_key = key(destination.server);
    m_address = address(destination.server);
    m_server = "the CUPS server at " + m_address;
    // address() has made it libcups's server: cupsServer() and ippPort() give its parts.
    std::string host = cupsServer();
    int port = ippPort();
    bool socket = host[0] == '/';
    http_addrlist_t* addresses = httpAddrGetList(host.c_str(), AF_UNSPEC, std::to_string(port).c_str());
    if (!addresses) {
        *error = m_server + " cannot be reached: " + lastCupsError();
        return false;
    }
    bool local = true;
    for (http_addrlist_t* address = addresses; address; address = address->next)
        local = local && httpAddrLocalhost(&address->addr);
    m_local = local;
    // The codes never cross a network in clear, whatever the user's CUPS settings allow: a remote
    // server is connected to as the settings say and then made to encrypt (encrypt() below), so
    // that a server without encryption is told apart from one that cannot be reached.
    http_encryption_t encryption = cupsEncryption();
    if (!local && encryption != HTTP_ENCRYPTION_ALWAYS)
        encryption = HTTP_ENCRYPTION_IF_REQUESTED;
    m_waits.startStep();
    m_http = httpConnect2(host.c_str(), port, addresses, AF_UNSPEC, encryption, 1, static_cast<int>(m_waits.timeout.count()), m_waits.interruptionFlag());
    if (!m_http && m_waits.stopsOnInterruption && interruptionRequested()) {
        *error = m_server + " was not reached: interrupted";
        httpAddrFreeList(addresses);
        return false;
    }
    if (!m_http) {
        int number = Clock::now() >= m_waits.deadline ? ETIMEDOUT : connectFailure(addresses, m_waits.timeout);
        *error = number == ETIMEDOUT     ? m_server + " did not answer within " + inSeconds(m_waits.timeout)
            : socket && number == ENOENT ? m_server + " cannot be reached: there is no such socket"
            : socket && !isSocket(host)  ? m_server + " cannot be reached: that is not a socket"
                                         : m_server + " cannot be reached: " + (number ? strerror(number) : "the connection failed");
    }
    httpAddrFreeList(addresses);
    if (!m_http)
        return false;
    ++m_connectionsMade;
    m_waits.slice(m_http);
    return local || encrypt(host, error);
}

bool TrustedConnection::encrypt(const std::string& host, std::string* error)
{
    if (!httpIsEncrypted(m_http))
        httpEncryption(m_http, HTTP_ENCRYPTION_REQUIRED);
    if (!httpIsEncrypted(m_http)) {
        // A wait given up (the timeout, or the program asked to stop) says nothing of the server.
        *error = m_waits.interrupted ? m_server + " was left before the connection was encrypted: interrupted"
            : m_waits.timedOut       ? m_waits.givenUpFailure(m_server)
                                     : m_server + " offers no encryption, and the codes never go to another machine in clear";
        return false;
    }
    std::vector<unsigned char> shown = peerCertificate(m_http);
    std::vector<KeptCertificate> kept = keptCertificates(m_key, host);
    // The certificate first seen is the only one: libcups's own check would take any other that
    // expires later, which anyone can make; and one kept that cannot be read is no first contact.
    for (const KeptCertificate& trusted : kept) {
        if (trusted.certificate.empty()) {
            *error = untrusted(m_server, "the one trusted for it, kept in " + trusted.file + ", cannot be read (" + trusted.problem + "); when the server's certificate has been renewed, remove that file and print again");
            return false;
        }
        if (shown != trusted.certificate) {
            *error = untrusted(m_server, "another one than the one trusted for it (SHA-256 " + certificateFingerprint(shown) + " shown, " + certificateFingerprint(trusted.certificate) + " trusted, kept in " + trusted.file + "); when the server's certificate has been renewed, remove that file and print again");
            return false;
        }
    }
    bool own = kept.size() == 1 && kept.front().file == keptCertificateFile(m_key);
    if (kept.empty()) {
        // Trust on first use, as the user's CUPS settings allow it (TrustOnFirstUse, ValidateCerts).
        cups_array_t* credentials = nullptr;
        http_trust_t trust = HTTP_TRUST_INVALID;
        if (httpCopyCredentials(m_http, &credentials) == 0 && credentials)
            trust = httpCredentialsGetTrust(credentials, host.c_str());
        std::string why = lastCupsError();
        if (credentials)
            httpFreeCredentials(credentials);
        if (trust != HTTP_TRUST_OK || shown.empty()) {
            *error = untrusted(m_server, why + "; the certificate first seen for each server on another machine is kept in " + keptCertificateFile(m_key));
            return false;
        }
    }
    // The first contact's certificate, or one an earlier version kept under the host's spelling,
    // is kept under the server's own name from now on.
    if (!own && !keepCertificate(m_key, shown, error)) {
        *error = m_server + " is not trusted, since " + *error;
        return false;
    }
    m_trusted = shown;
    return true;
}

bool TrustedConnection::peerIsTrusted(std::string* problem)
{
    if (m_local)
        return true;
    std::vector<unsigned char> shown = httpIsEncrypted(m_http) ? peerCertificate(m_http) : std::vector<unsigned char>();
    if (!shown.empty() && shown == m_trusted)
        return true;
    *problem = m_server + (shown.empty() ? " answered a new connection without encryption" : " now shows another certificate (SHA-256 " + certificateFingerprint(shown) + ") than the one trusted for it (" + certificateFingerprint(m_trusted) + ")")
        + "; nothing more was sent to it";
    return false;
}

bool TrustedConnection::readyForRequest(std::string* problem)
{
    http_state_t state = httpGetState(m_http);
    if (state == HTTP_STATE_GET_SEND || state == HTTP_STATE_POST_SEND)
        httpFlush(m_http);
    // Each of these makes libcups connect anew before it sends the request, which would then go
    // to whoever answers without a look at the certificate; an idle connection that reads as
    // ready has been closed by the server.
    const char* connection = httpGetField(m_http, HTTP_FIELD_CONNECTION);
    http_status_t last = httpGetStatus(m_http);
    bool stale = httpGetFd(m_http) < 0 || httpGetState(m_http) != HTTP_STATE_WAITING || last == HTTP_STATUS_ERROR
        || last >= HTTP_STATUS_BAD_REQUEST || (connection && !strcasecmp(connection, "close")) || httpWait(m_http, 0);
    return (!stale || reconnect(problem)) && peerIsTrusted(problem);
}

bool TrustedConnection::reconnect(std::string* problem)
{
    if (httpReconnect2(m_http, static_cast<int>(m_waits.timeout.count()), m_waits.interruptionFlag()) != 0) {
        *problem = m_server + " cannot be reached: " + lastCupsError();
        return false;
    }
    ++m_connectionsMade;
    return true;
}

void TrustedConnection::takeOver(TrustedConnection& other)
{
    std::swap(m_http, other.m_http);
    ++m_connectionsMade;
    m_waits.slice(m_http);
}

bool TrustedConnection::onSocket() const
{
    return httpAddrFamily(httpGetAddress(m_http)) == AF_LOCAL;
}
