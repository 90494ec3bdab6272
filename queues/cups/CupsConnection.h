// A connection to the CUPS server of a queue, made the way the codes need it: a local socket or
// a loopback address as the user's CUPS settings say; any other server only encrypted, with the
// one certificate trusted for it (the first one seen for a server is kept, under ~/.cups/ssl, and
// any other one later is refused, whatever its dates, as is a server whose kept certificate
// cannot be read: KeptCertificates.h); and no wait on the server longer than the timeout. A
// server that asks for a password gets the one the person gives (ServerPasswords.h), on this
// machine only where root or lp listens.
#pragma once

#include "queues/CupsDestination.h"
#include "queues/cups/IppMessage.h"
#include "program/ProgramsExport.h"

#include <cups/cups.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

class PROGRAMS_EXPORT CupsConnection {
public:
    CupsConnection() = default;
    ~CupsConnection();
    CupsConnection(const CupsConnection&) = delete;
    CupsConnection& operator=(const CupsConnection&) = delete;

    // False, with the reason in *error, when the server cannot be reached, or not safely.
    bool open(const CupsDestination& destination, std::string* error);
    // Where a destination's server is: "HOST:PORT" or the socket's path, the user's default
    // server for an empty one.
    static std::string address(const std::string& server);
    // The server as one name however it is spelled, for what must find the same server again
    // (the keyring's items of the queues' codes, the agent's lock): address() with the host in
    // lower case, or the socket by its real path. No name is looked up: an item kept for
    // "print.example.com:631" is found again after the server's address has changed.
    static std::string key(const std::string& server);

    http_t* http() const { return m_http; }
    // The connection's socket, to watch while it is idle.
    int socket() const;
    // Whether the server runs on this machine: a socket, or only loopback addresses.
    bool isLocal() const { return m_local; }
    // "the CUPS server at HOST:PORT" (or at the socket), for messages.
    const std::string& server() const { return m_server; }
    // How many connections to the server were made, the first one and each one made anew since:
    // what was learnt of the server on an earlier one may not hold for the server answering now.
    unsigned connectionsMade() const { return m_connectionsMade; }

    // Whether the server answers the requests of exchange() that are sent without credentials:
    // Anonymous asks as anyone may, without following a demand for credentials.
    enum class Credentials {
        AsTheUser,
        Anonymous,
    };

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
    void stopOnInterruption() { m_stopsOnInterruption = true; }
    // Whether the step's time is up; failure() then says so.
    bool pastDeadline();
    // Whether the step's request got an answer, and one of success. libcups gives the status of
    // the last answer it read, which after a wait given up is an earlier request's.
    bool succeeded(ipp_status_t status) const { return status <= IPP_STATUS_OK_CONFLICTING && !waitGivenUp(); }
    // Whether a wait of the step was given up: its time was up, or the program was asked to stop.
    bool waitGivenUp() const { return m_timedOut || m_interrupted; }
    // Why the last step failed, in words: the timeout, an interruption, or what the server or
    // CUPS says.
    std::string failure() const;

private:
    void sliceWaits();
    // A server on this machine reached over TCP cannot tell who the user is: cupsd takes the
    // peer's credentials on its socket alone. When it asks, and one of the sockets where CUPS
    // servers listen here leads to the same server (it lists the same printers, by their
    // printer-uuid), the connection goes through that socket from then on: true then, and the
    // request goes again. The server keeps its name in messages. Looked for once.
    bool moveToTheSocket();
    // Makes the connection to the host, reached as serverKey names it (key()), encrypted, with the
    // certificate trusted for the server (KeptCertificates.h).
    bool encrypt(const std::string& host, const std::string& serverKey, std::string* error);
    // Whether the connection's peer shows the certificate trusted for the server; a server on
    // this machine needs none.
    bool peerIsTrusted();
    // Makes the connection anew when libcups would before the next request, so that it never
    // does so unchecked.
    bool readyForRequest();
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
    // The headers every request starts with: the user's credentials, when the request goes as the
    // user and they are known (answerKnownDemand).
    void startHeaders(const char* method, const std::string& resource, Credentials credentials);
    // After an answer (unauthorized: a 401 to a request that goes as the user): whether the
    // request goes again, through the server's socket or with the credentials it asked for.
    // *authenticated is set once they were given; a second 401 then says the server refuses them.
    bool goesAgainAsTheUser(bool unauthorized, bool* authenticated, const char* method, const std::string& resource);
    // Answers the server's demand to know who the user is (its 401); false, failure() saying
    // why, when it cannot be answered.
    bool answerDemand(const char* method, const std::string& resource);
    // After an answer: credentials that the server takes only once are made anew for the next
    // request.
    void forgetSingleUseCredentials();
    // Tells a server that asked who the user is on an earlier connection, before it asks again.
    void answerKnownDemand(const char* method, const std::string& resource);
    // Why the server's demand to know who the user is went unanswered, in words.
    std::string unansweredDemand() const;
    // The answer whose status line has been read as code (HTTP_STATUS_CONTINUE: not yet).
    IppMessage answer(http_status_t code, ipp_status_t* status, bool* unauthorized);
    static int keepWaiting(http_t*, void* connection);
    // Answers the server's demand: Basic with the password givePassword gives (the person's,
    // ServerPasswords.h; null when none is given), any other as libcups does.
    int authenticate(const char* method, const std::string& resource);
    // Whether the password may go where the connection leads: on another machine, to the server
    // that showed the certificate trusted for it; on this one, only to a socket that root or lp
    // listens on, the users a CUPS server runs as. Any user may listen on a port that no server
    // holds, and answer as the server would to be given the password. Otherwise nobody is asked,
    // and m_passwordWithheld says why.
    bool listenerMayHaveThePassword();
    const char* givePassword();

    http_t* m_http { nullptr };
    std::string m_server;
    // Where it is: "HOST:PORT", or the socket's path.
    std::string m_address;
    bool m_local { false };
    unsigned m_connectionsMade { 0 };
    // The server as open() was given it, and whether its socket was looked for.
    std::string m_serverGiven;
    bool m_socketSought { false };
    // The certificate trusted for a server on another machine, as its DER bytes.
    std::vector<unsigned char> m_trusted;
    std::chrono::milliseconds m_timeout { kDefaultCupsTimeout };
    std::chrono::steady_clock::time_point m_deadline;
    bool m_timedOut { false };
    bool m_stopsOnInterruption { false };
    bool m_interrupted { false };
    std::string m_problem;
    // Whether the last answer's status, and its IPP message with a success, could be read.
    bool m_answerRead { false };
    bool m_answerLost { false };
    // The server as ServerPasswords knows it, the password given it on this connection, and how
    // often one was refused in this step; why none was given.
    std::string m_serverKey;
    std::string m_password;
    bool m_passwordGiven { false };
    int m_passwordsRefused { 0 };
    std::string m_passwordUnanswered;
    std::string m_passwordWithheld;
    static constexpr int kPasswordsAsked = 3;
};
