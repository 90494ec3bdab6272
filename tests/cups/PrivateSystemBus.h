// A D-Bus message bus of the tests' own, standing in for the system bus: the private CUPS
// server's D-Bus notifier rings it and the accounting agent listens on it, and neither touches
// the machine's own bus (there may be none). It lets everything through, as the system bus lets
// the notifier's signals through.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>

class PrivateSystemBus {
public:
    PrivateSystemBus() = default;
    ~PrivateSystemBus() { stop(); }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    // Runs the bus with its configuration and socket in folder. False, with the reason in *error,
    // when it does not come up.
    bool start(const std::string& folder, std::string* error);
    void stop();
    // What DBUS_SYSTEM_BUS_ADDRESS is set to for a program that uses this bus.
    const std::string& address() const { return m_address; }
    // Sends count signals of the CUPS notifier's interface from a connection of user's, as any
    // local user may: to whoever listens, or straight to the connection named by to; false when
    // they could not all be sent.
    bool ringAs(const std::string& user, int count, const std::string& to = "") const;
    // The unique name of the process's connection to the bus, or empty when it has none.
    std::string connectionOf(pid_t process) const;
    // Connects to the bus as user, asks it one thing and hangs up, again and again for as long
    // as given, as another user's programs do: perSecond times a second, or as fast as the bus
    // answers when 0. How many connections it made, or -1 when one failed.
    long connectAs(const std::string& user, std::chrono::milliseconds duration, int perSecond) const;

private:
    pid_t m_bus { -1 };
    std::string m_address;
};
