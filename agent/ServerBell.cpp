#include "agent/ServerBell.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <ctime>
#include <pwd.h>

namespace {

// The interface of the signals that CUPS's D-Bus notifier sends for each event.
constexpr const char* kNotifierInterface = "org.cups.cupsd.Notifier";

// Past this many connections' verdicts, all are forgotten: a user who makes connection after
// connection to send the notifier's signals costs the agent one ask of the bus per connection,
// and no more memory than this.
constexpr size_t kMostVerdicts = 4096;

// Whose a connection is, is asked once processing is over: no call from inside a callback.
int heard(sd_bus_message* message, void* senders, sd_bus_error*)
{
    if (const char* sender = sd_bus_message_get_sender(message))
        static_cast<std::set<std::string>*>(senders)->insert(sender);
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
    m_signals = sd_bus_slot_unref(m_signals);
    m_bus = sd_bus_flush_close_unref(m_bus);
    m_senders.clear();
    m_verdicts.clear();
}

bool ServerBell::open(std::string* error)
{
    const passwd* lp = getpwnam("lp");
    m_lpUser = lp ? std::optional<uid_t>(lp->pw_uid) : std::nullopt;
    int status = sd_bus_open_system(&m_bus);
    if (status >= 0)
        status = sd_bus_match_signal(m_bus, &m_signals, nullptr, nullptr, kNotifierInterface, nullptr, heard, &m_senders);
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
    if (auto known = m_verdicts.find(connection); known != m_verdicts.end())
        return known->second;
    sd_bus_message* reply = nullptr;
    uint32_t user = 0;
    bool answered = sd_bus_call_method(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixUser",
                        nullptr, &reply, "s", connection.c_str())
            >= 0
        && sd_bus_message_read(reply, "u", &user) > 0;
    sd_bus_message_unref(reply);
    // A connection gone before it was asked about rings nothing: whose it was is not known, and
    // its name is not given again.
    if (!answered)
        return false;
    if (m_verdicts.size() >= kMostVerdicts)
        m_verdicts.clear();
    return m_verdicts[connection] = user == 0 || user == m_lpUser;
}

bool ServerBell::takeRings(bool* rang, std::string* error)
{
    int status = 0;
    while (m_bus && (status = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    *rang = false;
    for (const std::string& connection : m_senders) {
        if (status >= 0)
            *rang = fromCups(connection) || *rang;
    }
    m_senders.clear();
    if (status >= 0)
        return true;
    *error = "the system bus went away: " + described(status);
    close();
    return false;
}
