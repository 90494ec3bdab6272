// The connection to the CUPS server of a queue and its trust: a local socket or a loopback address
// as the user's CUPS settings say; any other server only encrypted, with the one certificate
// trusted for it (the first one seen for a server is kept, under ~/.cups/ssl, and any other one
// later is refused, whatever its dates, as is a server whose kept certificate cannot be read:
// KeptCertificates.h), checked again on every connection made anew: libcups reconnects unchecked.
#pragma once

#include "queues/CupsDestination.h"
#include "queues/cups/ServerWaits.h"

#include <cups/cups.h>

#include <string>
#include <vector>

class TrustedConnection {
public:
    // Every wait on the server is one of waits.
    explicit TrustedConnection(ServerWaits& waits)
        : m_waits(waits)
    {
    }
    ~TrustedConnection();
    TrustedConnection(const TrustedConnection&) = delete;
    TrustedConnection& operator=(const TrustedConnection&) = delete;

    // False, with the reason in *error, when the server cannot be reached, or not safely.
    bool open(const CupsDestination& destination, std::string* error);
    // Where a destination's server is: "HOST:PORT" or the socket's path, the user's default
    // server for an empty one.
    static std::string address(const std::string& server);
    // The server as one name however it is spelled, for what must find the same server again
    // (the keyring's items of the queues' codes, the agent's lock, the certificate kept for it):
    // address() with the host in lower case, or the socket by its real path. No name is looked
    // up: an item kept for "print.example.com:631" is found again after the server's address has
    // changed.
    static std::string key(const std::string& server);

    http_t* http() const { return m_http; }
    int socket() const;
    // Whether the server runs on this machine: a socket, or only loopback addresses.
    bool isLocal() const { return m_local; }
    // Whether the connection goes through a socket of this machine's, which tells the server who
    // the user is.
    bool onSocket() const;
    // "the CUPS server at HOST:PORT" (or at the socket), for messages.
    const std::string& server() const { return m_server; }
    // "HOST:PORT", or the socket's path.
    const std::string& serverAddress() const { return m_address; }
    const std::string& serverKey() const { return m_key; }
    // How many connections to the server were made, the first one and each one made anew since.
    unsigned connectionsMade() const { return m_connectionsMade; }

    // Makes the connection anew when libcups would before the next request, so that it never
    // does so unchecked; false, *problem saying why, when the server cannot be reached or is no
    // longer the one trusted.
    bool readyForRequest(std::string* problem);
    // Connects anew at once (the server closed the connection while it was idle).
    bool reconnect(std::string* problem);
    // Whether the connection's peer shows the certificate trusted for the server; a server on
    // this machine needs none.
    bool peerIsTrusted(std::string* problem);
    // Goes on over other's connection, to the same server reached another way; other has this
    // one's.
    void takeOver(TrustedConnection& other);

private:
    // Makes the connection to the host encrypted, with the certificate trusted for the server.
    bool encrypt(const std::string& host, std::string* error);

    ServerWaits& m_waits;
    http_t* m_http { nullptr };
    std::string m_server;
    std::string m_address;
    std::string m_key;
    bool m_local { false };
    unsigned m_connectionsMade { 0 };
    // The certificate trusted for a server on another machine, as its DER bytes.
    std::vector<unsigned char> m_trusted;
};

// What libcups says of its last failure, in words.
std::string lastCupsError();
// The sockets where a CUPS server on this machine may listen: the default one, and every listening
// socket of this machine's named as CUPS names its own (/proc/net/unix), each once, where root
// alone can have put it.
std::vector<std::string> cupsSocketCandidates();
