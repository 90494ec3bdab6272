// Who the user is, told to a server that asks (its 401): on the server's own socket, the socket's
// peer credentials, which libcups gives; Kerberos, from the user's ticket; a password, the one the
// person gives (ServerPasswords.h), to a server on this machine only where root or lp listens.
// What a server asked for once is answered on every later connection to it from the first
// request on.
#pragma once

#include "queues/cups/TrustedConnection.h"

#include <functional>
#include <string>

// Whether a request goes in the user's name, with their credentials when the server asks for
// them, or as anyone may ask, without following a demand for credentials.
enum class RequestCredentials {
    AsTheUser,
    Anonymous,
};

class ServerAuthentication {
public:
    explicit ServerAuthentication(TrustedConnection& connection)
        : m_connection(connection)
    {
    }
    ~ServerAuthentication();
    ServerAuthentication(const ServerAuthentication&) = delete;
    ServerAuthentication& operator=(const ServerAuthentication&) = delete;

    // A step of the conversation starts: the person may be asked for a password anew.
    void startStep() { m_passwordsRefused = 0; }
    // The headers every request starts with: the user's credentials, when the request goes as the
    // user and they are known (answerKnownDemand).
    void startHeaders(const char* method, const std::string& resource, RequestCredentials credentials);
    // After an answer (unauthorized: a 401 to a request that goes as the user): whether the
    // request goes again, through the server's socket (moveToTheSocket, which says whether the
    // connection went there) or with the credentials it asked for; false, *problem saying why,
    // when they cannot be given. *authenticated is set once they were given; a second 401 then
    // says the server refuses them.
    bool goesAgainAsTheUser(bool unauthorized, bool* authenticated, const char* method, const std::string& resource,
        const std::function<bool()>& moveToTheSocket, std::string* problem);
    // Whether no password was refused in this step, and the person left none unanswered: with
    // nobody to ask, the requests go on without one.
    bool nobodyAsked() const { return m_passwordUnanswered.empty() && m_passwordsRefused == 0; }

    // What each server asks for when it wants to know who the user is (its WWW-Authenticate), by
    // server, once known: later connections to it tell it from their first request on. Only then
    // is every request of the user's known as theirs: a server that takes the user's Kerberos
    // principal ("alice@REALM") for them lists "my jobs" only to requests that prove it.
    static bool demandKnown(const std::string& server);
    // What the server's printers say it will ask for ("" for nothing), unless it asked already.
    static void expectDemand(const std::string& server, const std::string& demand);
    static void forgetDemand(const std::string& server);

private:
    // Answers the server's demand to know who the user is (its 401); false, *problem saying why,
    // when it cannot be answered.
    bool answerDemand(const char* method, const std::string& resource, std::string* problem);
    // After an answer: credentials that the server takes only once are made anew for the next
    // request.
    void forgetSingleUseCredentials();
    // Tells a server that asked who the user is on an earlier connection, before it asks again.
    void answerKnownDemand(const char* method, const std::string& resource);
    // Why the server's demand to know who the user is went unanswered, in words.
    std::string unansweredDemand() const;
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

    TrustedConnection& m_connection;
    // The password given the server on this connection, and how often one was refused in this
    // step; why none was given.
    std::string m_password;
    bool m_passwordGiven { false };
    int m_passwordsRefused { 0 };
    std::string m_passwordUnanswered;
    std::string m_passwordWithheld;
    static constexpr int kPasswordsAsked = 3;
};
