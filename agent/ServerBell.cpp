#include "ServerBell.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <pwd.h>

namespace {

// The interface of the signals that CUPS's D-Bus notifier sends for each event.
constexpr const char* kNotifierInterface = "org.cups.cupsd.Notifier";
constexpr size_t kKnownSendersKept = 1024;

int ring(sd_bus_message* message, void* senders, sd_bus_error*)
{
    // Whose the connection is, is asked once processing is over: no call from inside a callback.
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
    sd_bus_slot_unref(m_match);
    sd_bus_flush_close_unref(m_bus);
}

bool ServerBell::open(std::string* error)
{
    int status = sd_bus_open_system(&m_bus);
    if (status >= 0)
        status = sd_bus_match_signal(m_bus, &m_match, nullptr, nullptr, kNotifierInterface, nullptr, ring, &m_senders);
    if (status < 0) {
        *error = "cannot listen on the system bus: " + described(status);
        sd_bus_slot_unref(m_match);
        m_match = nullptr;
        m_bus = sd_bus_flush_close_unref(m_bus);
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

bool ServerBell::fromCups(const std::string& sender)
{
    if (auto known = m_cupsSenders.find(sender); known != m_cupsSenders.end())
        return known->second;
    sd_bus_message* reply = nullptr;
    uint32_t user = 0;
    bool cups = false;
    if (sd_bus_call_method(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixUser", nullptr,
            &reply, "s", sender.c_str())
            >= 0
        && sd_bus_message_read(reply, "u", &user) > 0) {
        const passwd* lp = getpwnam("lp");
        cups = user == 0 || (lp && user == lp->pw_uid);
    }
    sd_bus_message_unref(reply);
    // Connections come and go: what is known of those gone is forgotten now and then.
    if (m_cupsSenders.size() >= kKnownSendersKept)
        m_cupsSenders.clear();
    m_cupsSenders[sender] = cups;
    return cups;
}

bool ServerBell::takeRings(bool* rang, std::string* error)
{
    int status = 0;
    while (m_bus && (status = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    *rang = false;
    for (const std::string& sender : m_senders)
        *rang = fromCups(sender) || *rang;
    m_senders.clear();
    if (status >= 0)
        return true;
    *error = "the system bus went away: " + described(status);
    sd_bus_slot_unref(m_match);
    m_match = nullptr;
    m_bus = sd_bus_flush_close_unref(m_bus);
    return false;
}
