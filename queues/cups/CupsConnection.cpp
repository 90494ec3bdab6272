#include "queues/cups/CupsConnection.h"

#include "queues/cups/ServerPrinters.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// However many CUPS servers run here, looking for the one a connection reached costs requests
// with a short wait each.
constexpr std::chrono::milliseconds kSocketCandidateTimeout { 2000 };

}

CupsConnection::CupsConnection()
    : m_link(m_waits)
    , m_authentication(m_link)
{
}

CupsConnection::~CupsConnection() = default;

int CupsConnection::socket() const
{
    return m_link.socket();
}

std::string CupsConnection::address(const std::string& server)
{
    return TrustedConnection::address(server);
}

std::string CupsConnection::key(const std::string& server)
{
    return TrustedConnection::key(server);
}

bool CupsConnection::open(const CupsDestination& destination, std::string* error)
{
    // libcups asks for a password on the terminal unless told otherwise: a program of the
    // desktop has none, and one run from a terminal must not stop at a question it did not ask.
    // The password comes from the person as the program asks them (ServerAuthentication).
    cupsSetPasswordCB2([](const char*, http_t*, const char*, const char*, void*) -> const char* { return nullptr; }, nullptr);
    m_waits.timeout = destination.timeout;
    m_waits.stopsOnInterruption = destination.stopsOnInterruption;
    m_serverGiven = destination.server;
    return m_link.open(destination, error);
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
        if (!m_link.readyForRequest(&m_problem))
            break;
        m_authentication.startHeaders("POST", resource, credentials);
        httpSetField(http(), HTTP_FIELD_CONTENT_TYPE, "application/ipp");
        // A server that refuses the request on its headers alone (it asks who the user is) answers
        // before the body, and may close the connection: the body then waits for its word.
        httpSetExpect(http(), HTTP_STATUS_CONTINUE);
        httpSetLength(http(), document < 0 ? ippLength(request.get()) : 0);
        if (httpPost(http(), resource.c_str()) != 0) {
            // A connection that the server closed while it was idle fails at the first write.
            if (reconnected || pastDeadline() || !m_link.reconnect(&m_problem)) {
                m_problem = server() + " cannot be reached: " + lastCupsError();
                break;
            }
            reconnected = true;
            continue;
        }
        // The request's own bytes go only where the certificate was seen, whatever libcups did
        // to send its headers.
        if (!m_link.peerIsTrusted(&m_problem)) {
            httpShutdown(http());
            break;
        }
        http_status_t code = earlyAnswer();
        if (code == HTTP_STATUS_CONTINUE)
            code = sendRequest(request.get(), document);
        if (code == HTTP_STATUS_ERROR && connectionBroke() && !resent) {
            resent = true;
            httpShutdown(http());
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
    auto giveUp = std::min(m_waits.deadline, Clock::now() + std::chrono::seconds(1));
    for (;;) {
        if (m_waits.interruptedNow())
            return HTTP_STATUS_ERROR;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now());
        if (left.count() <= 0)
            return HTTP_STATUS_CONTINUE;
        if (httpWait(http(), static_cast<int>(std::min(left, std::chrono::milliseconds(250)).count())))
            return httpUpdate(http());
    }
}

http_status_t CupsConnection::sendRequest(ipp_t* request, int document)
{
    ippSetState(request, IPP_STATE_IDLE);
    ipp_state_t state;
    while ((state = ippWrite(http(), request)) != IPP_STATE_DATA && state != IPP_STATE_ERROR) {
    }
    if (state == IPP_STATE_ERROR) {
        m_problem = server() + " stopped taking the request: " + lastCupsError();
        return answerBeforeBreak();
    }
    return document < 0 ? HTTP_STATUS_CONTINUE : sendDocument(document);
}

http_status_t CupsConnection::answerBeforeBreak()
{
    return httpWait(http(), 0) ? httpUpdate(http()) : HTTP_STATUS_ERROR;
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
        if (m_waits.interruptedNow())
            return HTTP_STATUS_ERROR;
        // A large document takes as long as it takes; only a server that stops taking it is stuck.
        startStep();
        if (httpWrite2(http(), buffer, static_cast<size_t>(count)) < 0) {
            m_problem = failure();
            return answerBeforeBreak();
        }
        if (count == 0)
            return HTTP_STATUS_CONTINUE;
        offset += count;
        // A server that refuses the document answers before it has all of it.
        if (httpCheck(http())) {
            http_status_t early = httpUpdate(http());
            if (early >= HTTP_STATUS_MULTIPLE_CHOICES || early == HTTP_STATUS_ERROR)
                return early;
        }
    }
}

IppMessage CupsConnection::answer(http_status_t code, ipp_status_t* status, bool* unauthorized)
{
    while (code == HTTP_STATUS_CONTINUE)
        code = httpUpdate(http());
    *unauthorized = code == HTTP_STATUS_UNAUTHORIZED;
    // Success whose IPP answer cannot be read says no more than none: what it says is lost.
    m_answerRead = code != HTTP_STATUS_ERROR && code != HTTP_STATUS_OK;
    if (code == HTTP_STATUS_OK) {
        IppMessage response(ippNew());
        ipp_state_t state;
        while ((state = ippRead(http(), response.get())) != IPP_STATE_DATA && state != IPP_STATE_ERROR) {
        }
        if (state == IPP_STATE_DATA) {
            m_answerRead = true;
            *status = ippGetStatusCode(response.get());
            ipp_attribute_t* message = ippFindAttribute(response.get(), "status-message", IPP_TAG_TEXT);
            m_problem = message ? ippGetString(message, 0, nullptr) : ippErrorString(*status);
            return response;
        }
        httpFlush(http());
        *status = IPP_STATUS_ERROR_INTERNAL;
        m_problem = server() + " sent an answer that cannot be read";
        return {};
    }
    if (code == HTTP_STATUS_ERROR) {
        *status = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
        m_problem = m_problem.empty() && !m_waits.givenUp() ? server() + " closed the connection before it answered" : failure();
        return {};
    }
    httpFlush(http());
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
    if (isLocal() || ServerAuthentication::demandKnown(server()))
        return true;
    PrinterAuthentication asked = printerAuthentication(*this);
    if (!asked.answered)
        return true;
    ServerAuthentication::expectDemand(server(), asked.kerberos ? "Negotiate" : asked.password ? "Basic realm=\"CUPS\""
                                                                                               : "");
    if (asked.kerberos || asked.passwordPrinter.empty())
        return true;
    // cupsd takes a wrong password as no password where the policy asks none (listing jobs): the
    // password is tried first where it must be right.
    bool proven = credentialsTaken(*this, asked.passwordPrinter);
    if (!proven)
        ServerAuthentication::forgetDemand(server());
    // With nobody to ask, the requests go on without a password, as where the policy asks none.
    return proven || (m_authentication.nobodyAsked() && !waitGivenUp());
}

http_status_t CupsConnection::get(const std::string& resource)
{
    m_problem.clear();
    for (bool authenticated = false;;) {
        if (!m_link.readyForRequest(&m_problem))
            return HTTP_STATUS_ERROR;
        m_authentication.startHeaders("GET", resource, Credentials::AsTheUser);
        http_status_t status = HTTP_STATUS_ERROR;
        if (httpGet(http(), resource.c_str()) == 0) {
            do
                status = httpUpdate(http());
            while (status == HTTP_STATUS_CONTINUE && !pastDeadline());
        }
        bool unauthorized = status == HTTP_STATUS_UNAUTHORIZED;
        if (unauthorized)
            httpFlush(http());
        if (!goesAgainAsTheUser(unauthorized, &authenticated, "GET", resource))
            return status;
    }
}

bool CupsConnection::moveToTheSocket()
{
    if (!m_link.isLocal() || m_socketSought || m_link.onSocket())
        return false;
    m_socketSought = true;
    std::set<std::string> identities = printerIdentities(*this);
    if (identities.empty())
        return false;
    bool moved = false;
    for (const std::string& path : cupsSocketCandidates()) {
        CupsConnection candidate;
        std::string ignored;
        if (candidate.open({ "", path, std::min(m_waits.timeout, kSocketCandidateTimeout), m_waits.stopsOnInterruption }, &ignored)
            && printerIdentities(candidate) == identities) {
            m_link.takeOver(candidate.m_link);
            moved = true;
            break;
        }
    }
    // Each candidate was made libcups's server in turn.
    TrustedConnection::address(m_serverGiven);
    startStep();
    return moved;
}

bool CupsConnection::connectionBroke()
{
    int number = httpError(http());
    return (number == EPIPE || number == ECONNRESET) && !m_waits.givenUp() && !pastDeadline();
}

bool CupsConnection::goesAgainAsTheUser(bool unauthorized, bool* authenticated, const char* method, const std::string& resource)
{
    return m_authentication.goesAgainAsTheUser(
        unauthorized, authenticated, method, resource, [this] { return moveToTheSocket(); }, &m_problem);
}

void CupsConnection::startStep()
{
    m_authentication.startStep();
    m_waits.startStep();
}

bool CupsConnection::pastDeadline()
{
    return m_waits.pastDeadline();
}

std::string CupsConnection::failure() const
{
    std::string givenUp = m_waits.givenUpFailure(server());
    if (!givenUp.empty())
        return givenUp;
    return m_problem.empty() ? lastCupsError() : m_problem;
}
