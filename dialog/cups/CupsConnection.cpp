#include "CupsConnection.h"

#include <ProcessGuards.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string inSeconds(std::chrono::milliseconds span)
{
    char text[32];
    snprintf(text, sizeof text, "%g s", static_cast<double>(span.count()) / 1000);
    return text;
}

std::string lastCupsError()
{
    const char* text = cupsLastErrorString();
    return text && *text ? text : "no reason given";
}

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

}

CupsConnection::~CupsConnection()
{
    if (m_http)
        httpClose(m_http);
}

std::string CupsConnection::address(const std::string& server)
{
    // cupsSetServer splits HOST:PORT into what cupsServer() and ippPort() give, and without a
    // server they give the user's default one.
    cupsSetServer(server.empty() ? nullptr : server.c_str());
    std::string host = cupsServer();
    return host[0] == '/' ? host : host + ":" + std::to_string(ippPort());
}

bool CupsConnection::open(const CupsDestination& destination, std::string* error)
{
    m_timeout = destination.timeout;
    m_server = "the CUPS server at " + address(destination.server);
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
    startStep();
    m_http = httpConnect2(host.c_str(), port, addresses, AF_UNSPEC, encryption, 1, static_cast<int>(m_timeout.count()), nullptr);
    if (!m_http) {
        int number = Clock::now() >= m_deadline ? ETIMEDOUT : connectFailure(addresses, m_timeout);
        *error = number == ETIMEDOUT     ? m_server + " did not answer within " + inSeconds(m_timeout)
            : socket && number == ENOENT ? m_server + " cannot be reached: there is no such socket"
            : socket && !isSocket(host)  ? m_server + " cannot be reached: that is not a socket"
                                         : m_server + " cannot be reached: " + (number ? strerror(number) : "the connection failed");
    }
    httpAddrFreeList(addresses);
    if (!m_http)
        return false;
    httpSetTimeout(m_http, static_cast<double>(std::min(m_timeout, std::chrono::milliseconds(1000)).count()) / 1000, keepWaiting, this);
    return local || encrypt(host, error);
}

bool CupsConnection::encrypt(const std::string& host, std::string* error)
{
    if (!httpIsEncrypted(m_http))
        httpEncryption(m_http, HTTP_ENCRYPTION_REQUIRED);
    if (!httpIsEncrypted(m_http)) {
        *error = m_timedOut ? failure() : m_server + " offers no encryption, and the codes never go to another machine in clear";
        return false;
    }
    cups_array_t* credentials = nullptr;
    http_trust_t trust = HTTP_TRUST_INVALID;
    if (httpCopyCredentials(m_http, &credentials) == 0 && credentials)
        trust = httpCredentialsGetTrust(credentials, host.c_str());
    std::string why = lastCupsError();
    if (trust == HTTP_TRUST_OK || trust == HTTP_TRUST_RENEWED) {
        // Trust on first use: the certificate first seen for a server is the one expected of it
        // from then on (CUPS's own store, which the user's CUPS settings govern).
        cups_array_t* kept = nullptr;
        if (trust == HTTP_TRUST_RENEWED || httpLoadCredentials(nullptr, &kept, host.c_str()) != 0)
            httpSaveCredentials(nullptr, credentials, host.c_str());
        if (kept)
            httpFreeCredentials(kept);
    }
    if (credentials)
        httpFreeCredentials(credentials);
    if (trust == HTTP_TRUST_OK || trust == HTTP_TRUST_RENEWED)
        return true;
    *error = m_server + " shows a certificate that cannot be trusted (" + why
        + "); CUPS keeps the certificate first seen for each server under ~/.cups/ssl";
    return false;
}

void CupsConnection::startStep()
{
    m_deadline = Clock::now() + m_timeout;
    m_timedOut = false;
    m_interrupted = false;
}

bool CupsConnection::pastDeadline()
{
    m_timedOut = m_timedOut || Clock::now() >= m_deadline;
    return m_timedOut;
}

std::string CupsConnection::failure() const
{
    if (m_timedOut)
        return m_server + " did not answer within " + inSeconds(m_timeout);
    if (m_interrupted)
        return "interrupted";
    return lastCupsError();
}

int CupsConnection::keepWaiting(http_t*, void* connection)
{
    auto* self = static_cast<CupsConnection*>(connection);
    if (self->m_stopsOnInterruption && interruptionRequested()) {
        self->m_interrupted = true;
        return 0;
    }
    if (Clock::now() < self->m_deadline)
        return 1;
    self->m_timedOut = true;
    return 0;
}
