// The doorbell of a CUPS server on this machine. CUPS keeps a pull subscription's events until
// they are asked for, and answers Get-Notifications at once (it does not wait for events, as a
// server may when asked to); the interval it gives between asks is a minute. So that a job is
// seen at once and the agent still sleeps while nothing happens, the agent also subscribes with
// CUPS's D-Bus notifier, which rings every event on the system bus: a ring is the agent's cue
// to ask for the events. The bell carries no job's details; those come over IPP.
//
// Anyone on the system bus may send a signal of the notifier's interface; only one from a
// connection of root's or lp's (cupsd and its notifier) rings. The bus itself drops the others:
// the agent listens to the notifier's interface only from each connection of those users, follows
// connections as they come and those of theirs as they go, and takes a new one of theirs for a
// ring, as the notifier connects to ring for its first event (it keeps the connection for those
// after). Another user's connection costs the agent one look at whose it is as it comes; its
// going, and anything it sends, the bus does not pass on.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>

struct sd_bus;
struct sd_bus_slot;

// What the bus's callbacks heard since the last look: rings, and connections that came or went.
struct BellNews {
    bool rang { false };
    std::set<std::string> came;
    std::set<std::string> went;
};

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
    // Whether the connection (a unique name) belongs to cupsd's users, asked of the bus.
    bool fromCups(const std::string& connection);
    // Listens to the connection's notifier signals when it is cupsd's users'; true when it is.
    bool listenTo(const std::string& connection, std::string* error);
    void close();

    // What is listened to of a connection of cupsd's users: its signals, and its going.
    struct CupsConnection {
        sd_bus_slot* signals { nullptr };
        sd_bus_slot* going { nullptr };
    };

    sd_bus* m_bus { nullptr };
    sd_bus_slot* m_connectionsMatch { nullptr };
    BellNews m_heard;
    std::map<std::string, CupsConnection> m_cupsConnections;
    // lp's user, looked up once: the look-up reads the user database, far dearer than the bus's
    // answer.
    std::optional<uid_t> m_lpUser;
};
