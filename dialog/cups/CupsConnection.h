// A connection to the CUPS server of a queue, made the way the codes need it: a local socket or
// a loopback address as the user's CUPS settings say; any other server only encrypted, with a
// certificate that the user's CUPS trusts (the first one seen for a server is kept, under
// ~/.cups/ssl, and a different one later is refused); and no wait on the server longer than the
// timeout.
#pragma once

#include <CupsDestination.h>
#include <DialogExport.h>

#include <cups/cups.h>

#include <chrono>
#include <string>

class DIALOG_EXPORT CupsConnection {
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

    http_t* http() const { return m_http; }
    // Whether the server runs on this machine: a socket, or only loopback addresses.
    bool isLocal() const { return m_local; }
    // "the CUPS server at HOST:PORT" (or at the socket), for messages.
    const std::string& server() const { return m_server; }

    // Starts a step of the conversation: no wait from now on outlasts the timeout.
    void startStep();
    // From now on a wait also ends, within a second, when the program is asked to stop
    // (interruptionRequested()); failure() then says so.
    void stopOnInterruption() { m_stopsOnInterruption = true; }
    // Whether the step's time is up; failure() then says so.
    bool pastDeadline();
    // Whether the step's request got an answer, and one of success. libcups gives the status of
    // the last answer it read, which after a wait given up is an earlier request's.
    bool succeeded(ipp_status_t status) const { return status <= IPP_STATUS_OK_CONFLICTING && !m_timedOut && !m_interrupted; }
    // Why the last step failed, in words: the timeout, an interruption, or what CUPS says.
    std::string failure() const;

private:
    bool encrypt(const std::string& host, std::string* error);
    static int keepWaiting(http_t*, void* connection);

    http_t* m_http { nullptr };
    std::string m_server;
    bool m_local { false };
    std::chrono::milliseconds m_timeout { kDefaultCupsTimeout };
    std::chrono::steady_clock::time_point m_deadline;
    bool m_timedOut { false };
    bool m_stopsOnInterruption { false };
    bool m_interrupted { false };
};
