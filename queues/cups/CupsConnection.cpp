#include "queues/cups/CupsConnection.h"

#include "queues/cups/KeptCertificates.h"
#include "queues/cups/ServerPrinters.h"
#include "queues/cups/TcpSockets.h"
#include "queues/cups/UnixSockets.h"

#include "program/ProcessGuards.h"
#include "program/Seconds.h"
#include "program/SecretWipe.h"
#include "queues/ServerPasswords.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <poll.h>
#include <pwd.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// However many CUPS servers run here, looking for the one a connection reached costs a bounded
// number of requests, each with a short wait.
constexpr size_t kMostSocketCandidates = 16;
constexpr std::chrono::milliseconds kSocketCandidateTimeout { 2000 };

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

// As openssl shows it: pairs of hexadecimal digits between colons.
std::string fingerprint(const std::vector<unsigned char>& certificate)
{
    unsigned char hash[32];
    if (certificate.empty() || cupsHashData("sha2-256", certificate.data(), certificate.size(), hash, sizeof hash) != sizeof hash)
        return "none";
    std::string text;
    for (unsigned char byte : hash) {
        char pair[4];
        snprintf(pair, sizeof pair, text.empty() ? "%02X" : ":%02X", byte);
        text += pair;
    }
    return text;
}

// Why a server is not trusted, beginning with the server.
std::string untrusted(const std::string& server, const std::string& why)
{
    return server + " shows a certificate that cannot be trusted: " + why;
}

// What each server asked for when it wanted to know who the user is (its WWW-Authenticate), by
// server, once it was answered: later connections to it tell it from their first request on.
// Only then is every request of the user's known as theirs: a server that takes the user's
// Kerberos principal ("alice@REALM") for them lists "my jobs" only to requests that prove it.
std::mutex gDemandsGuard;
std::map<std::string, std::string> gAnsweredDemands;

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

// The users a CUPS server runs as: root, and lp, the system user Debian's drops to.
bool isServersUser(unsigned user)
{
    passwd entry;
    passwd* found = nullptr;
    char buffer[4096];
    return user == 0 || (getpwnam_r("lp", &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_uid == user);
}

std::string userName(unsigned user)
{
    passwd entry;
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(user, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->pw_name;
    return "user " + std::to_string(user);
}

// Whether the connection holds credentials to send: libcups empties them (on a demand for
// credentials, and on a new connection) rather than removing them.
bool hasCredentials(http_t* http)
{
    const char* credentials = httpGetAuthString(http);
    return credentials && *credentials;
}

// The sockets where a CUPS server on this machine may listen: the default one, and every listening
// socket of this machine's named as CUPS names its own (/proc/net/unix), each once, where root
// alone can have put it.
std::vector<std::string> cupsSocketCandidates()
{
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
}

int CupsConnection::socket() const
{
    return httpGetFd(m_http);
}

CupsConnection::~CupsConnection()
{
    if (m_http)
        httpClose(m_http);
    wipeSecret(m_password);
}

std::string CupsConnection::address(const std::string& server)
{
    // cupsSetServer splits HOST:PORT into what cupsServer() and ippPort() give, and without a
    // server they give the user's default one.
    cupsSetServer(server.empty() ? nullptr : server.c_str());
    std::string host = cupsServer();
    return host[0] == '/' ? host : host + ":" + std::to_string(ippPort());
}

std::string CupsConnection::key(const std::string& server)
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

bool CupsConnection::open(const CupsDestination& destination, std::string* error)
{
    // libcups asks for a password on the terminal unless told otherwise: a program of the
    // desktop has none, and one run from a terminal must not stop at a question it did not ask.
    // The password comes from the person as the program asks them (authenticate()).
    cupsSetPasswordCB2([](const char*, http_t*, const char*, const char*, void*) -> const char* { return nullptr; }, nullptr);
    m_serverKey = key(destination.server);
    m_timeout = destination.timeout;
    m_stopsOnInterruption = destination.stopsOnInterruption;
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
    startStep();
    m_http = httpConnect2(host.c_str(), port, addresses, AF_UNSPEC, encryption, 1, static_cast<int>(m_timeout.count()),
        m_stopsOnInterruption ? interruptionFlag() : nullptr);
    if (!m_http && m_stopsOnInterruption && interruptionRequested()) {
        *error = m_server + " was not reached: interrupted";
        httpAddrFreeList(addresses);
        return false;
    }
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
    ++m_connectionsMade;
    sliceWaits();
    m_serverGiven = destination.server;
    return local || encrypt(host, key(destination.server), error);
}

void CupsConnection::sliceWaits()
{
    // Waits come in slices, so that the deadline and a request to stop are heard within a second.
    httpSetTimeout(m_http, static_cast<double>(std::min(m_timeout, std::chrono::milliseconds(250)).count()) / 1000, keepWaiting, this);
}

bool CupsConnection::moveToTheSocket()
{
    if (!m_local || m_socketSought || httpAddrFamily(httpGetAddress(m_http)) == AF_LOCAL)
        return false;
    m_socketSought = true;
    std::set<std::string> identities = printerIdentities(*this);
    if (identities.empty())
        return false;
    bool moved = false;
    for (const std::string& path : cupsSocketCandidates()) {
        CupsConnection candidate;
        std::string ignored;
        if (candidate.open({ "", path, std::min(m_timeout, kSocketCandidateTimeout), m_stopsOnInterruption }, &ignored)
            && printerIdentities(candidate) == identities) {
            std::swap(m_http, candidate.m_http);
            ++m_connectionsMade;
            sliceWaits();
            moved = true;
            break;
        }
    }
    // Each candidate was made libcups's server in turn.
    address(m_serverGiven);
    startStep();
    return moved;
}

bool CupsConnection::encrypt(const std::string& host, const std::string& serverKey, std::string* error)
{
    if (!httpIsEncrypted(m_http))
        httpEncryption(m_http, HTTP_ENCRYPTION_REQUIRED);
    if (!httpIsEncrypted(m_http)) {
        // A wait given up (the timeout, or the program asked to stop) says nothing of the server.
        *error = m_interrupted ? m_server + " was left before the connection was encrypted: interrupted"
            : m_timedOut       ? failure()
                               : m_server + " offers no encryption, and the codes never go to another machine in clear";
        return false;
    }
    std::vector<unsigned char> shown = peerCertificate(m_http);
    std::vector<KeptCertificate> kept = keptCertificates(serverKey, host);
    // The certificate first seen is the only one: libcups's own check would take any other that
    // expires later, which anyone can make; and one kept that cannot be read is no first contact.
    for (const KeptCertificate& trusted : kept) {
        if (trusted.certificate.empty()) {
            *error = untrusted(m_server, "the one trusted for it, kept in " + trusted.file + ", cannot be read (" + trusted.problem + "); when the server's certificate has been renewed, remove that file and print again");
            return false;
        }
        if (shown != trusted.certificate) {
            *error = untrusted(m_server, "another one than the one trusted for it (SHA-256 " + fingerprint(shown) + " shown, " + fingerprint(trusted.certificate) + " trusted, kept in " + trusted.file + "); when the server's certificate has been renewed, remove that file and print again");
            return false;
        }
    }
    bool own = kept.size() == 1 && kept.front().file == keptCertificateFile(serverKey);
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
            *error = untrusted(m_server, why + "; the certificate first seen for each server on another machine is kept in " + keptCertificateFile(serverKey));
            return false;
        }
    }
    // The first contact's certificate, or one an earlier version kept under the host's spelling,
    // is kept under the server's own name from now on.
    if (!own && !keepCertificate(serverKey, shown, error)) {
        *error = m_server + " is not trusted, since " + *error;
        return false;
    }
    m_trusted = shown;
    return true;
}

bool CupsConnection::peerIsTrusted()
{
    if (m_local)
        return true;
    std::vector<unsigned char> shown = httpIsEncrypted(m_http) ? peerCertificate(m_http) : std::vector<unsigned char>();
    if (!shown.empty() && shown == m_trusted)
        return true;
    m_problem = m_server + (shown.empty() ? " answered a new connection without encryption" : " now shows another certificate (SHA-256 " + fingerprint(shown) + ") than the one trusted for it (" + fingerprint(m_trusted) + ")")
        + "; nothing more was sent to it";
    return false;
}

bool CupsConnection::readyForRequest()
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
    if (stale && httpReconnect2(m_http, static_cast<int>(m_timeout.count()), m_stopsOnInterruption ? interruptionFlag() : nullptr) != 0) {
        m_problem = m_server + " cannot be reached: " + lastCupsError();
        return false;
    }
    m_connectionsMade += stale ? 1 : 0;
    return peerIsTrusted();
}

IppMessage CupsConnection::exchange(IppMessage request, const std::string& resource, ipp_status_t* status, int document, Credentials credentials)
{
    m_answerLost = false;
    IppMessage response;
    *status = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
    bool authenticated = false;
    // A request whose connection broke while it was sent reached no server whole, and goes once
    // more on a new connection.
    bool resent = false;
    for (bool reconnected = false;;) {
        // What an answer that has the request go again said is no failure of its own.
        m_problem.clear();
        if (!readyForRequest())
            break;
        startHeaders("POST", resource, credentials);
        httpSetField(m_http, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
        // A server that refuses the request on its headers alone (it asks who the user is) answers
        // before the body, and may close the connection: the body then waits for its word.
        httpSetExpect(m_http, HTTP_STATUS_CONTINUE);
        httpSetLength(m_http, document < 0 ? ippLength(request.get()) : 0);
        if (httpPost(m_http, resource.c_str()) != 0) {
            // A connection that the server closed while it was idle fails at the first write.
            if (reconnected || pastDeadline()
                || httpReconnect2(m_http, static_cast<int>(m_timeout.count()), m_stopsOnInterruption ? interruptionFlag() : nullptr) != 0) {
                m_problem = m_server + " cannot be reached: " + lastCupsError();
                break;
            }
            ++m_connectionsMade;
            reconnected = true;
            continue;
        }
        // The request's own bytes go only where the certificate was seen, whatever libcups did
        // to send its headers.
        if (!peerIsTrusted()) {
            httpShutdown(m_http);
            break;
        }
        http_status_t code = earlyAnswer();
        if (code == HTTP_STATUS_CONTINUE)
            code = sendRequest(request.get(), document);
        if (code == HTTP_STATUS_ERROR && connectionBroke() && !resent) {
            resent = true;
            httpShutdown(m_http);
            continue;
        }
        bool delivered = code == HTTP_STATUS_CONTINUE;
        bool unauthorized = false;
        response = answer(code, status, &unauthorized);
        m_answerLost = delivered && !m_answerRead;
        // A request sent anonymously stays so.
        if (!goesAgainAsTheUser(unauthorized && credentials == Credentials::AsTheUser, &authenticated, "POST", resource))
            break;
    }
    return response;
}

http_status_t CupsConnection::earlyAnswer()
{
    // A server that ignores the expectation gets the body after a second, as libcups does; the
    // wait comes in slices, so that the deadline and a request to stop are heard.
    auto giveUp = std::min(m_deadline, Clock::now() + std::chrono::seconds(1));
    for (;;) {
        if (m_stopsOnInterruption && interruptionRequested()) {
            m_interrupted = true;
            return HTTP_STATUS_ERROR;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now());
        if (left.count() <= 0)
            return HTTP_STATUS_CONTINUE;
        if (httpWait(m_http, static_cast<int>(std::min(left, std::chrono::milliseconds(250)).count())))
            return httpUpdate(m_http);
    }
}

http_status_t CupsConnection::sendRequest(ipp_t* request, int document)
{
    ippSetState(request, IPP_STATE_IDLE);
    ipp_state_t state;
    while ((state = ippWrite(m_http, request)) != IPP_STATE_DATA && state != IPP_STATE_ERROR) {
    }
    if (state == IPP_STATE_ERROR) {
        m_problem = m_server + " stopped taking the request: " + lastCupsError();
        return answerBeforeBreak();
    }
    return document < 0 ? HTTP_STATUS_CONTINUE : sendDocument(document);
}

http_status_t CupsConnection::answerBeforeBreak()
{
    return httpWait(m_http, 0) ? httpUpdate(m_http) : HTTP_STATUS_ERROR;
}

http_status_t CupsConnection::sendDocument(int document)
{
    char buffer[64 * 1024];
    for (off_t offset = 0;;) {
        ssize_t count = pread(document, buffer, sizeof buffer, offset);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            m_problem = std::string("cannot read the document: ") + strerror(errno);
            return HTTP_STATUS_ERROR;
        }
        if (m_stopsOnInterruption && interruptionRequested()) {
            m_interrupted = true;
            return HTTP_STATUS_ERROR;
        }
        // A large document takes as long as it takes; only a server that stops taking it is stuck.
        startStep();
        if (httpWrite2(m_http, buffer, static_cast<size_t>(count)) < 0) {
            m_problem = failure();
            return answerBeforeBreak();
        }
        if (count == 0)
            return HTTP_STATUS_CONTINUE;
        offset += count;
        // A server that refuses the document answers before it has all of it.
        if (httpCheck(m_http)) {
            http_status_t early = httpUpdate(m_http);
            if (early >= HTTP_STATUS_MULTIPLE_CHOICES || early == HTTP_STATUS_ERROR)
                return early;
        }
    }
}

IppMessage CupsConnection::answer(http_status_t code, ipp_status_t* status, bool* unauthorized)
{
    while (code == HTTP_STATUS_CONTINUE)
        code = httpUpdate(m_http);
    *unauthorized = code == HTTP_STATUS_UNAUTHORIZED;
    // Success whose IPP answer cannot be read says no more than none: what it says is lost.
    m_answerRead = code != HTTP_STATUS_ERROR && code != HTTP_STATUS_OK;
    if (code == HTTP_STATUS_OK) {
        IppMessage response(ippNew());
        ipp_state_t state;
        while ((state = ippRead(m_http, response.get())) != IPP_STATE_DATA && state != IPP_STATE_ERROR) {
        }
        if (state == IPP_STATE_DATA) {
            m_answerRead = true;
            *status = ippGetStatusCode(response.get());
            ipp_attribute_t* message = ippFindAttribute(response.get(), "status-message", IPP_TAG_TEXT);
            m_problem = message ? ippGetString(message, 0, nullptr) : ippErrorString(*status);
            return response;
        }
        httpFlush(m_http);
        *status = IPP_STATUS_ERROR_INTERNAL;
        m_problem = m_server + " sent an answer that cannot be read";
        return {};
    }
    if (code == HTTP_STATUS_ERROR) {
        *status = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
        m_problem = m_problem.empty() && !m_timedOut && !m_interrupted ? m_server + " closed the connection before it answered" : failure();
        return {};
    }
    httpFlush(m_http);
    *status = code == HTTP_STATUS_NOT_FOUND     ? IPP_STATUS_ERROR_NOT_FOUND
        : code == HTTP_STATUS_UNAUTHORIZED      ? IPP_STATUS_ERROR_NOT_AUTHENTICATED
        : code == HTTP_STATUS_FORBIDDEN         ? IPP_STATUS_ERROR_FORBIDDEN
        : code == HTTP_STATUS_BAD_REQUEST       ? IPP_STATUS_ERROR_BAD_REQUEST
        : code == HTTP_STATUS_REQUEST_TOO_LARGE ? IPP_STATUS_ERROR_REQUEST_VALUE
                                                : IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
    m_problem = httpStatus(code);
    return {};
}

bool CupsConnection::proveTheUser()
{
    {
        std::lock_guard<std::mutex> guard(gDemandsGuard);
        if (m_local || gAnsweredDemands.count(m_server))
            return true;
    }
    PrinterAuthentication asked = printerAuthentication(*this);
    if (!asked.answered)
        return true;
    {
        std::lock_guard<std::mutex> guard(gDemandsGuard);
        gAnsweredDemands.emplace(m_server, asked.kerberos ? "Negotiate" : asked.password ? "Basic realm=\"CUPS\""
                                                                                         : "");
    }
    if (asked.kerberos || asked.passwordPrinter.empty())
        return true;
    // cupsd takes a wrong password as no password where the policy asks none (listing jobs): the
    // password is tried first where it must be right.
    bool proven = credentialsTaken(*this, asked.passwordPrinter);
    if (!proven) {
        std::lock_guard<std::mutex> guard(gDemandsGuard);
        gAnsweredDemands.erase(m_server);
    }
    // With nobody to ask, the requests go on without a password, as where the policy asks none.
    return proven || (m_passwordUnanswered.empty() && m_passwordsRefused == 0 && !waitGivenUp());
}

http_status_t CupsConnection::get(const std::string& resource)
{
    m_problem.clear();
    for (bool authenticated = false;;) {
        if (!readyForRequest())
            return HTTP_STATUS_ERROR;
        startHeaders("GET", resource, Credentials::AsTheUser);
        http_status_t status = HTTP_STATUS_ERROR;
        if (httpGet(m_http, resource.c_str()) == 0) {
            do
                status = httpUpdate(m_http);
            while (status == HTTP_STATUS_CONTINUE && !pastDeadline());
        }
        bool unauthorized = status == HTTP_STATUS_UNAUTHORIZED;
        if (unauthorized)
            httpFlush(m_http);
        if (!goesAgainAsTheUser(unauthorized, &authenticated, "GET", resource))
            return status;
    }
}

void CupsConnection::startHeaders(const char* method, const std::string& resource, Credentials credentials)
{
    if (credentials == Credentials::AsTheUser && !hasCredentials(m_http))
        answerKnownDemand(method, resource);
    httpClearFields(m_http);
    if (credentials == Credentials::AsTheUser && hasCredentials(m_http))
        httpSetField(m_http, HTTP_FIELD_AUTHORIZATION, httpGetAuthString(m_http));
}

bool CupsConnection::goesAgainAsTheUser(bool unauthorized, bool* authenticated, const char* method, const std::string& resource)
{
    forgetSingleUseCredentials();
    if (!unauthorized) {
        if (m_passwordGiven)
            passwordAccepted(m_serverKey, cupsUser());
        return false;
    }
    if (m_passwordGiven) {
        // A password refused is never given again: the person is asked anew, a few times at most.
        passwordRefused(m_serverKey, cupsUser());
        m_passwordGiven = false;
        if (++m_passwordsRefused >= kPasswordsAsked) {
            m_problem = m_server + " refuses the password given for you";
            return false;
        }
        return answerDemand(method, resource);
    }
    if (*authenticated) {
        m_problem = m_server + " refuses the credentials given for you";
        return false;
    }
    // The server asks who the user is: on its own socket the system tells it, elsewhere whatever
    // the user's CUPS settings offer.
    if (moveToTheSocket())
        return true;
    *authenticated = true;
    return answerDemand(method, resource);
}

int CupsConnection::authenticate(const char* method, const std::string& resource)
{
    // Basic over a network is answered here: libcups keeps the password it was given for the
    // connection and gives it again, refused or not, before it asks for another. On the server's
    // socket, libcups tells it who the user is from the socket's peer credentials instead.
    const char* demand = httpGetField(m_http, HTTP_FIELD_WWW_AUTHENTICATE);
    if (demand && !strncasecmp(demand, "Basic", 5) && httpAddrFamily(httpGetAddress(m_http)) != AF_LOCAL) {
        if (!listenerMayHaveThePassword())
            return -1;
        const char* password = givePassword();
        if (!password)
            return -1;
        std::string userPassword = std::string(cupsUser()) + ":" + password;
        char encoded[2048];
        httpEncode64_2(encoded, sizeof encoded, userPassword.data(), static_cast<int>(userPassword.size()));
        httpSetAuthString(m_http, "Basic", encoded);
        wipeSecret(userPassword);
        wipeSecret(encoded);
        return 0;
    }
    return cupsDoAuthentication(m_http, method, resource.c_str());
}

bool CupsConnection::answerDemand(const char* method, const std::string& resource)
{
    if (authenticate(method, resource) != 0) {
        m_problem = unansweredDemand();
        return false;
    }
    if (const char* demand = httpGetField(m_http, HTTP_FIELD_WWW_AUTHENTICATE); demand && *demand) {
        std::lock_guard<std::mutex> guard(gDemandsGuard);
        gAnsweredDemands[m_server] = demand;
    }
    return true;
}

void CupsConnection::forgetSingleUseCredentials()
{
    // cupsd takes a Kerberos token once: the next request makes a new one from the ticket.
    if (hasCredentials(m_http) && !strncmp(httpGetAuthString(m_http), "Negotiate", 9))
        httpSetAuthString(m_http, nullptr, nullptr);
}

void CupsConnection::answerKnownDemand(const char* method, const std::string& resource)
{
    std::string demand;
    {
        std::lock_guard<std::mutex> guard(gDemandsGuard);
        auto known = gAnsweredDemands.find(m_server);
        if (known == gAnsweredDemands.end() || known->second.empty())
            return;
        demand = known->second;
    }
    // As if the server had just asked; when the answer cannot be made, the request goes without
    // and the server asks again.
    httpSetField(m_http, HTTP_FIELD_WWW_AUTHENTICATE, demand.c_str());
    authenticate(method, resource);
}

std::string CupsConnection::unansweredDemand() const
{
    const char* field = httpGetField(m_http, HTTP_FIELD_WWW_AUTHENTICATE);
    std::string offered = field ? field : "";
    if (offered.find("Negotiate") != std::string::npos)
        return m_server + " asks who you are with Kerberos, and you have no ticket it takes (kinit gets one)";
    if (offered.find("Basic") != std::string::npos && !m_passwordWithheld.empty())
        return m_server + " asks for your password, and it was not given: " + m_passwordWithheld;
    if (offered.find("Basic") != std::string::npos)
        return m_server + " asks for your password, and none was given" + (m_passwordUnanswered.empty() ? "" : " (" + m_passwordUnanswered + ")")
            + (m_local && httpAddrFamily(httpGetAddress(m_http)) != AF_LOCAL ? ": on this machine its socket tells it who you are without one, and none of the same server was found" : "");
    return m_server + " asks who you are in a way that cannot be answered (" + (offered.empty() ? "it names none" : offered) + ")";
}

bool CupsConnection::connectionBroke()
{
    int number = httpError(m_http);
    return (number == EPIPE || number == ECONNRESET) && !m_timedOut && !m_interrupted && !pastDeadline();
}

bool CupsConnection::listenerMayHaveThePassword()
{
    m_passwordWithheld.clear();
    if (!m_local)
        return true;
    // Where libcups connected, which it knows after the server has closed the connection.
    sockaddr_storage peer {};
    std::vector<unsigned> owners;
    if (const http_addr_t* address = httpGetAddress(m_http)) {
        memcpy(&peer, address, std::min(sizeof peer, sizeof *address));
        owners = listenerOwners(peer);
    }
    auto stranger = std::find_if_not(owners.begin(), owners.end(), isServersUser);
    if (owners.empty())
        m_passwordWithheld = "no program of this machine's is seen listening there";
    else if (stranger != owners.end())
        m_passwordWithheld = "the program listening there runs as " + userName(*stranger) + ", and a CUPS server runs as root or lp";
    return m_passwordWithheld.empty();
}

const char* CupsConnection::givePassword()
{
    wipeSecret(m_password);
    m_passwordUnanswered.clear();
    PasswordQuestion question { m_server, m_address, cupsUser(), m_passwordsRefused > 0 };
    m_passwordGiven = passwordForServer(m_serverKey, question, &m_password, &m_passwordUnanswered);
    return m_passwordGiven ? m_password.c_str() : nullptr;
}

void CupsConnection::startStep()
{
    m_passwordsRefused = 0;
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
    return m_problem.empty() ? lastCupsError() : m_problem;
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
