// The doorbell of a CUPS server on this machine. CUPS keeps a pull subscription's events until
// they are asked for, and answers Get-Notifications at once (it does not wait for events, as a
// server may when asked to); the interval it gives between asks is a minute. So that a job is
// seen at once and the agent still sleeps while nothing happens, the agent also subscribes with
// CUPS's D-Bus notifier, which rings every event on the system bus: a ring is the agent's cue
// to ask for the events. The bell carries no job's details; those come over IPP.
//
// Anyone on the system bus may send a signal of the notifier's interface; only one from a
// connection of root's or lp's (cupsd's notifier) rings. No match rule can name a connection's
// user, so the agent listens to the notifier's interface from every connection and asks the bus
// whose a connection is the first time one of its signals comes: a connection's unique name is
// never given to another on the same bus, so the answer holds for the connection's life (the
// notifier connects as its first event comes and keeps the connection for those after). Other
// connections, however many come and go, never reach the agent; one that sends the notifier's
// signals costs it one ask, and the reading of each signal, as any signal sent straight to the
// agent does.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <unordered_map>

struct sd_bus;
struct sd_bus_slot;

class ServerBell {
public:
    ServerBell() = default;
    ~ServerBell();
    ServerBell(const ServerBell&) = delete;
    ServerBell& operator=(const ServerBell&) = delete;

    // Listens on the system bus (DBUS_SYSTEM_BUS_ADDRESS, or the standard one) for the CUPS
    // notifier's signals. False, with the reason in *error, when there is no bus to listen on.
    bool open(std::string* error);
    bool isOpen() const { return m_bus != nullptr; }

    // What to poll() for, and the longest the bus may wait before it is processed again (-1: no
    // limit), in milliseconds.
    int descriptor() const;
    short events() const;
    int timeout() const;
    // Takes in what arrived; true when the notifier rang since the last call. False, with the
    // bus closed and the reason in *error, when the bus went away.
    bool takeRings(bool* rang, std::string* error);

private:
    // Whether the connection (a unique name) is of cupsd's users: asked of the bus once.
    bool fromCups(const std::string& connection);
    void close();

    sd_bus* m_bus { nullptr };
    sd_bus_slot* m_signals { nullptr };
    // The connections whose signals came since the last look.
    std::set<std::string> m_senders;
    // Whether each connection that sent a signal is cupsd's users'. Forgotten when it grows past
    // a bound, at the price of one more ask per connection that signals again.
    std::unordered_map<std::string, bool> m_verdicts;
    // lp's user, looked up once: the look-up reads the user database, far dearer than the bus's
    // answer.
    std::optional<uid_t> m_lpUser;
};
