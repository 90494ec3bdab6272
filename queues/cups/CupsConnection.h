// A connection to the CUPS server of a queue, made the way the codes need it
// (TrustedConnection.h: a local socket or a loopback address, any other server only encrypted,
// with the one certificate trusted for it), and its requests: each one sent and its answer read,
// sent again on a new connection when the server closed the one it went on, with no wait on the
// server longer than the timeout. A server that asks who the user is is told
// (ServerAuthentication.h).
#pragma once

#include "queues/CupsDestination.h"
#include "queues/cups/IppMessage.h"
#include "queues/cups/ServerAuthentication.h"
#include "queues/cups/ServerWaits.h"
#include "queues/cups/TrustedConnection.h"
#include "program/ProgramsExport.h"

#include <string>

class PROGRAMS_EXPORT CupsConnection {
public:
    CupsConnection();
    ~CupsConnection();
    CupsConnection(const CupsConnection&) = delete;
    CupsConnection& operator=(const CupsConnection&) = delete;

    // False, with the reason in *error, when the server cannot be reached, or not safely.
    bool open(const CupsDestination& destination, std::string* error);
    // TrustedConnection::address and TrustedConnection::key.
    static std::string address(const std::string& server);
    static std::string key(const std::string& server);

    http_t* http() const { return m_link.http(); }
    // The connection's socket, to watch while it is idle.
    int socket() const;
    // Whether the server runs on this machine: a socket, or only loopback addresses.
    bool isLocal() const { return m_link.isLocal(); }
    // "the CUPS server at HOST:PORT" (or at the socket), for messages.
    const std::string& server() const { return m_link.server(); }
    // How many connections to the server were made, the first one and each one made anew since:
    // what was learnt of the server on an earlier one may not hold for the server answering now.
    unsigned connectionsMade() const { return m_link.connectionsMade(); }

    using Credentials = RequestCredentials;

    // One IPP request (taken) and its answer, over this connection alone. When the server is not
    // on this machine, nothing of the request leaves before the connection's peer has shown the
    // certificate trusted for it, checked again on every connection made anew (after the server
    // closed one, or asked for credentials): libcups's own requests reconnect unchecked. With a
    // document (an open file), it follows the request as Send-Document's does. The answer, or
    // null; *status is the answer's status, or an error status when there is none, and failure()
    // says why.
    IppMessage exchange(IppMessage request, const std::string& resource, ipp_status_t* status, int document = -1,
        Credentials credentials = Credentials::AsTheUser);
    // Whether the last exchange's request went to the server whole, its document too, and no
    // answer to it came back (the connection dropped, the time was up, or the program was asked to
    // stop while it waited): the server may have done what it asked.
    bool answerLost() const { return m_answerLost; }

    // Has the requests that follow tell a server on another machine who the user is from the
    // first one on, where it asks for Kerberos or a password (a printer's
    // uri-authentication-supported says "negotiate" or "basic"): such a server lists "my jobs"
    // only to a request that proves who the user is (for Kerberos, as their principal,
    // "alice@REALM"). Asked once per server in a process. A password is tried at once: false,
    // failure() saying why, when the person gave none, or none that the server takes; with nobody
    // to ask, the requests go on without one.
    bool proveTheUser();

    // A GET of resource over this connection, with the same checks and credentials as
    // exchange(): the answer's status, its headers read (HTTP_STATUS_OK: the body follows, for
    // httpRead2); failure() says why another.
    http_status_t get(const std::string& resource);

    // Starts a step of the conversation: no wait from now on outlasts the timeout.
    void startStep();
    // From now on a wait also ends, within a second, when the program is asked to stop
    // (interruptionRequested()); failure() then says so.
    void stopOnInterruption() { m_waits.stopsOnInterruption = true; }
    // Whether the step's time is up; failure() then says so.
    bool pastDeadline();
    // Whether the step's request got an answer, and one of success. libcups gives the status of
    // the last answer it read, which after a wait given up is an earlier request's.
    bool succeeded(ipp_status_t status) const { return status <= IPP_STATUS_OK_CONFLICTING && !waitGivenUp(); }
    // Whether a wait of the step was given up: its time was up, or the program was asked to stop.
    bool waitGivenUp() const { return m_waits.givenUp(); }
    // Why the last step failed, in words: the timeout, an interruption, or what the server or
    // CUPS says.
    std::string failure() const;

private:
    // A server on this machine reached over TCP cannot tell who the user is: cupsd takes the
    // peer's credentials on its socket alone. When it asks, and one of the sockets where CUPS
    // servers listen here leads to the same server (it lists the same printers, by their
    // printer-uuid), the connection goes through that socket from then on: true then, and the
    // request goes again. The server keeps its name in messages. Looked for once.
    bool moveToTheSocket();
    // What the server says to the request's headers before its body goes: HTTP_STATUS_CONTINUE
    // for go on (or no word within a second), else its answer's status, the body not to be sent.
    http_status_t earlyAnswer();
    // The request's body, and the document when there is one: HTTP_STATUS_CONTINUE when all went,
    // else the status of an answer the server gave before it stopped reading (HTTP_STATUS_ERROR
    // for none).
    http_status_t sendRequest(ipp_t* request, int document);
    http_status_t sendDocument(int document);
    http_status_t answerBeforeBreak();
    // Whether the last request failed as its connection broke (the server closed it), with time
    // left to send it again.
    bool connectionBroke();
    // ServerAuthentication::goesAgainAsTheUser, through the server's socket where it leads.
    bool goesAgainAsTheUser(bool unauthorized, bool* authenticated, const char* method, const std::string& resource);
    // The answer whose status line has been read as code (HTTP_STATUS_CONTINUE: not yet).
    IppMessage answer(http_status_t code, ipp_status_t* status, bool* unauthorized);

    ServerWaits m_waits;
    TrustedConnection m_link;
    ServerAuthentication m_authentication;
    // The server as open() was given it, and whether its socket was looked for.
    std::string m_serverGiven;
    bool m_socketSought { false };
    std::string m_problem;
    // Whether the last answer's status, and its IPP message with a success, could be read.
    bool m_answerRead { false };
    bool m_answerLost { false };
};
