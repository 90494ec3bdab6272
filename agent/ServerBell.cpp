#include "ServerBell.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

// The interface of the signals that CUPS's D-Bus notifier sends for each event.
constexpr const char* kNotifierInterface = "org.cups.cupsd.Notifier";

int ring(sd_bus_message*, void* rang, sd_bus_error*)
{
    *static_cast<bool*>(rang) = true;
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
        status = sd_bus_match_signal(m_bus, &m_match, nullptr, nullptr, kNotifierInterface, nullptr, ring, &m_rang);
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

bool ServerBell::takeRings(bool* rang, std::string* error)
{
    int status = 0;
    while (m_bus && (status = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    *rang = m_rang;
    m_rang = false;
    if (status >= 0)
        return true;
    *error = "the system bus went away: " + described(status);
    sd_bus_slot_unref(m_match);
    m_match = nullptr;
    m_bus = sd_bus_flush_close_unref(m_bus);
    return false;
}
