#include "ServerBell.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pwd.h>

namespace {

// The interface of the signals that CUPS's D-Bus notifier sends for each event.
constexpr const char* kNotifierInterface = "org.cups.cupsd.Notifier";

int ring(sd_bus_message*, void* heard, sd_bus_error*)
{
    static_cast<BellNews*>(heard)->rang = true;
    return 0;
}

// Every name's news on the bus is NameOwnerChanged(name, old owner, new owner): a connection's
// unique name comes with the connection and goes with it. The bus sends the agent only what it
// needs of them, so that other users' connections cost it nothing but their coming: names that
// come (no old owner), and the going of the connections it listens to.
constexpr const char* kNamesThatCome = "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                                       "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg1=''";

std::string goingOf(const std::string& connection)
{
    return "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',interface='org.freedesktop.DBus',"
           "member='NameOwnerChanged',arg0='"
        + connection + "'";
}

// Whose a connection is, is asked once processing is over: no call from inside a callback.
int connectionChanged(sd_bus_message* message, void* heard, sd_bus_error*)
{
    const char* name = nullptr;
    const char* before = nullptr;
    const char* after = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &before, &after) < 0 || !name || name[0] != ':')
        return 0;
    auto* news = static_cast<BellNews*>(heard);
    (after && *after ? news->came : news->went).insert(name);
    return 0;
}

std::string described(int negativeErrno)
{
    return strerror(-negativeErrno);
}

}

ServerBell::~ServerBell()
{
    close();
}

void ServerBell::close()
{
    for (auto& [connection, matches] : m_cupsConnections) {
        sd_bus_slot_unref(matches.signals);
        sd_bus_slot_unref(matches.going);
    }
    m_cupsConnections.clear();
    m_connectionsMatch = sd_bus_slot_unref(m_connectionsMatch);
    m_bus = sd_bus_flush_close_unref(m_bus);
}

bool ServerBell::open(std::string* error)
{
    const passwd* lp = getpwnam("lp");
    m_lpUser = lp ? std::optional<uid_t>(lp->pw_uid) : std::nullopt;
    int status = sd_bus_open_system(&m_bus);
    // Connections are followed from before they are listed, so that none falls between.
    if (status >= 0)
        status = sd_bus_add_match(m_bus, &m_connectionsMatch, kNamesThatCome, connectionChanged, &m_heard);
    sd_bus_message* reply = nullptr;
    if (status >= 0)
        status = sd_bus_call_method(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames", nullptr, &reply, "");
    char** names = nullptr;
    if (status >= 0)
        status = sd_bus_message_read_strv(reply, &names);
    sd_bus_message_unref(reply);
    for (char** name = names; status >= 0 && name && *name; ++name) {
        if (**name == ':')
            listenTo(*name, error);
    }
    for (char** name = names; name && *name; ++name)
        free(*name);
    free(names);
    if (status < 0) {
        *error = "cannot listen on the system bus: " + described(status);
        close();
        return false;
    }
    return true;
}

int ServerBell::descriptor() const
{
    return m_bus ? sd_bus_get_fd(m_bus) : -1;
}

short ServerBell::events() const
{
    int events = m_bus ? sd_bus_get_events(m_bus) : 0;
    return static_cast<short>(events > 0 ? events : 0);
}

int ServerBell::timeout() const
{
    uint64_t until = 0;
    if (!m_bus || sd_bus_get_timeout(m_bus, &until) <= 0 || until == UINT64_MAX)
        return -1;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t nowMicroseconds = static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
    return until <= nowMicroseconds ? 0 : static_cast<int>((until - nowMicroseconds + 999) / 1000);
}

bool ServerBell::fromCups(const std::string& connection)
{
    sd_bus_message* reply = nullptr;
    uint32_t user = 0;
    bool cups = false;
    if (sd_bus_call_method(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixUser", nullptr,
            &reply, "s", connection.c_str())
            >= 0
        && sd_bus_message_read(reply, "u", &user) > 0)
        cups = user == 0 || user == m_lpUser;
    sd_bus_message_unref(reply);
    return cups;
}

bool ServerBell::listenTo(const std::string& connection, std::string* error)
{
    if (m_cupsConnections.count(connection) || !fromCups(connection))
        return false;
    CupsConnection matches;
    int status = sd_bus_match_signal(m_bus, &matches.signals, connection.c_str(), nullptr, kNotifierInterface, nullptr, ring, &m_heard);
    if (status >= 0)
        status = sd_bus_add_match(m_bus, &matches.going, goingOf(connection).c_str(), connectionChanged, &m_heard);
    if (status < 0) {
        sd_bus_slot_unref(matches.signals);
        *error = "cannot listen to " + connection + " on the system bus: " + described(status);
        return false;
    }
    m_cupsConnections[connection] = matches;
    return true;
}

bool ServerBell::takeRings(bool* rang, std::string* error)
{
    int status = 0;
    while (m_bus && (status = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    *rang = m_heard.rang;
    for (const std::string& connection : m_heard.went) {
        if (auto known = m_cupsConnections.find(connection); known != m_cupsConnections.end()) {
            sd_bus_slot_unref(known->second.signals);
            sd_bus_slot_unref(known->second.going);
            m_cupsConnections.erase(known);
        }
    }
    // The notifier connects as an event comes, and rings at once: before its signal could be
    // listened to. Its coming is the ring.
    std::string ignored;
    for (const std::string& connection : m_heard.came) {
        if (status >= 0 && !m_heard.went.count(connection))
            *rang = listenTo(connection, &ignored) || *rang;
    }
    m_heard = BellNews();
    if (status >= 0)
        return true;
    *error = "the system bus went away: " + described(status);
    close();
    return false;
}
