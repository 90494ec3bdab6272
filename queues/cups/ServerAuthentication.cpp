#include "queues/cups/ServerAuthentication.h"

#include "queues/cups/TcpSockets.h"

#include "program/SecretWipe.h"
#include "queues/ServerPasswords.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <pwd.h>
#include <strings.h>
#include <sys/socket.h>

namespace {

// What each server asks for when it wants to know who the user is, for every connection of the
// process (ServerAuthentication::demandKnown).
std::mutex gDemandsGuard;
std::map<std::string, std::string> gAnsweredDemands;

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

}

ServerAuthentication::~ServerAuthentication()
{
    wipeSecret(m_password);
}

bool ServerAuthentication::demandKnown(const std::string& server)
{
    std::lock_guard<std::mutex> guard(gDemandsGuard);
    return gAnsweredDemands.count(server) > 0;
}

void ServerAuthentication::expectDemand(const std::string& server, const std::string& demand)
{
    std::lock_guard<std::mutex> guard(gDemandsGuard);
    gAnsweredDemands.emplace(server, demand);
}

void ServerAuthentication::forgetDemand(const std::string& server)
{
    std::lock_guard<std::mutex> guard(gDemandsGuard);
    gAnsweredDemands.erase(server);
}

void ServerAuthentication::startHeaders(const char* method, const std::string& resource, RequestCredentials credentials)
{
    http_t* http = m_connection.http();
    if (credentials == RequestCredentials::AsTheUser && !hasCredentials(http))
        answerKnownDemand(method, resource);
    httpClearFields(http);
    if (credentials == RequestCredentials::AsTheUser && hasCredentials(http))
        httpSetField(http, HTTP_FIELD_AUTHORIZATION, httpGetAuthString(http));
}

bool ServerAuthentication::goesAgainAsTheUser(bool unauthorized, bool* authenticated, const char* method, const std::string& resource,
    const std::function<bool()>& moveToTheSocket, std::string* problem)
{
    forgetSingleUseCredentials();
    if (!unauthorized) {
        if (m_passwordGiven)
            passwordAccepted(m_connection.serverKey(), cupsUser());
        return false;
    }
    if (m_passwordGiven) {
        // A password refused is never given again: the person is asked anew, a few times at most.
        passwordRefused(m_connection.serverKey(), cupsUser());
        m_passwordGiven = false;
        if (++m_passwordsRefused >= kPasswordsAsked) {
            *problem = m_connection.server() + " refuses the password given for you";
            return false;
        }
        return answerDemand(method, resource, problem);
    }
    if (*authenticated) {
        *problem = m_connection.server() + " refuses the credentials given for you";
        return false;
    }
    // The server asks who the user is: on its own socket the system tells it, elsewhere whatever
    // the user's CUPS settings offer.
    if (moveToTheSocket())
        return true;
    *authenticated = true;
    return answerDemand(method, resource, problem);
}

int ServerAuthentication::authenticate(const char* method, const std::string& resource)
{
    // Basic over a network is answered here: libcups keeps the password it was given for the
    // connection and gives it again, refused or not, before it asks for another. On the server's
    // socket, libcups tells it who the user is from the socket's peer credentials instead.
    http_t* http = m_connection.http();
    const char* demand = httpGetField(http, HTTP_FIELD_WWW_AUTHENTICATE);
    if (demand && !strncasecmp(demand, "Basic", 5) && !m_connection.onSocket()) {
        if (!listenerMayHaveThePassword())
            return -1;
        const char* password = givePassword();
        if (!password)
            return -1;
        std::string userPassword = std::string(cupsUser()) + ":" + password;
        char encoded[2048];
        httpEncode64_2(encoded, sizeof encoded, userPassword.data(), static_cast<int>(userPassword.size()));
        httpSetAuthString(http, "Basic", encoded);
        wipeSecret(userPassword);
        wipeSecret(encoded);
        return 0;
    }
    return cupsDoAuthentication(http, method, resource.c_str());
}

bool ServerAuthentication::answerDemand(const char* method, const std::string& resource, std::string* problem)
{
    if (authenticate(method, resource) != 0) {
        *problem = unansweredDemand();
        return false;
    }
    if (const char* demand = httpGetField(m_connection.http(), HTTP_FIELD_WWW_AUTHENTICATE); demand && *demand) {
        std::lock_guard<std::mutex> guard(gDemandsGuard);
        gAnsweredDemands[m_connection.server()] = demand;
    }
    return true;
}

void ServerAuthentication::forgetSingleUseCredentials()
{
    // cupsd takes a Kerberos token once: the next request makes a new one from the ticket.
    http_t* http = m_connection.http();
    if (hasCredentials(http) && !strncmp(httpGetAuthString(http), "Negotiate", 9))
        httpSetAuthString(http, nullptr, nullptr);
}

void ServerAuthentication::answerKnownDemand(const char* method, const std::string& resource)
{
    std::string demand;
    {
        std::lock_guard<std::mutex> guard(gDemandsGuard);
        auto known = gAnsweredDemands.find(m_connection.server());
        if (known == gAnsweredDemands.end() || known->second.empty())
            return;
        demand = known->second;
    }
    // As if the server had just asked; when the answer cannot be made, the request goes without
    // and the server asks again.
    httpSetField(m_connection.http(), HTTP_FIELD_WWW_AUTHENTICATE, demand.c_str());
    authenticate(method, resource);
}

std::string ServerAuthentication::unansweredDemand() const
{
    const char* field = httpGetField(m_connection.http(), HTTP_FIELD_WWW_AUTHENTICATE);
    std::string offered = field ? field : "";
    const std::string& server = m_connection.server();
    if (offered.find("Negotiate") != std::string::npos)
        return server + " asks who you are with Kerberos, and you have no ticket it takes (kinit gets one)";
    if (offered.find("Basic") != std::string::npos && !m_passwordWithheld.empty())
        return server + " asks for your password, and it was not given: " + m_passwordWithheld;
    if (offered.find("Basic") != std::string::npos)
        return server + " asks for your password, and none was given" + (m_passwordUnanswered.empty() ? "" : " (" + m_passwordUnanswered + ")")
            + (m_connection.isLocal() && !m_connection.onSocket() ? ": on this machine its socket tells it who you are without one, and none of the same server was found" : "");
    return server + " asks who you are in a way that cannot be answered (" + (offered.empty() ? "it names none" : offered) + ")";
}

bool ServerAuthentication::listenerMayHaveThePassword()
{
    m_passwordWithheld.clear();
    if (!m_connection.isLocal())
        return true;
    // Where libcups connected, which it knows after the server has closed the connection.
    sockaddr_storage peer {};
    std::vector<unsigned> owners;
    if (const http_addr_t* address = httpGetAddress(m_connection.http())) {
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

const char* ServerAuthentication::givePassword()
{
    wipeSecret(m_password);
    m_passwordUnanswered.clear();
    PasswordQuestion question { m_connection.server(), m_connection.serverAddress(), cupsUser(), m_passwordsRefused > 0 };
    m_passwordGiven = passwordForServer(m_connection.serverKey(), question, &m_password, &m_passwordUnanswered);
    return m_passwordGiven ? m_password.c_str() : nullptr;
}
