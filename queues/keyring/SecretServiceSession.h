// One conversation with the Secret Service on the session bus, bounded as a whole by a deadline,
// and given up as well once the program is asked to stop (interruptionRequested()).
// libsecret's asynchronous calls run on a main context of the session's own, which is iterated
// here until each call completes. At the deadline the call is cancelled, which ends at once
// whatever libsecret waits for (a reply that never comes, an unlock prompt that nobody answers,
// which it then dismisses), and the call's end is waited for a moment more at most.
//
// libsecret always talks over the process's shared connection to the session bus. The session
// finds that bus first, as GLib would, and goes no further when there is none, since GLib would
// then autolaunch one. The connection does not end the process when the bus goes away (GLib's
// default for it): the programs end as they choose.
#pragma once

#include <chrono>
#include <gio/gio.h>
#include <libsecret/secret.h>
#include <memory>
#include <string>
#include <vector>

struct GObjectRelease {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template<typename T>
using GObjectPtr = std::unique_ptr<T, GObjectRelease>;

struct GErrorRelease {
    void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorRelease>;

class SecretServiceSession {
public:
    explicit SecretServiceSession(std::chrono::milliseconds timeout);
    ~SecretServiceSession();
    SecretServiceSession(const SecretServiceSession&) = delete;
    SecretServiceSession& operator=(const SecretServiceSession&) = delete;

    // Connects to the session bus and opens the Secret Service there, with a session that
    // encrypts the secrets on their way over the bus. False, with the reason in *error.
    bool open(std::string* error);
    SecretService* service() const { return m_service.get(); }
    GCancellable* cancellable() const { return m_cancellable.get(); }

    // Runs one asynchronous call: start(callback, data) begins it with cancellable(), and its
    // result comes back for the call's _finish, once it completes or has been given up at the
    // deadline (its _finish then fails). Null only when even giving up brought no result.
    template<typename Start>
    GObjectPtr<GAsyncResult> complete(Start start)
    {
        auto slot = std::make_unique<GAsyncResult*>(nullptr);
        start(&SecretServiceSession::completed, slot.get());
        return waitFor(std::move(slot));
    }

    // Why a call failed, in words a message may show: the deadline when it passed, or the
    // program's stop, however far the call had come (an unlock prompt left unanswered is given up
    // then too), otherwise what the error says.
    std::string failure(GError* error) const;
    bool givenUp() const { return m_timedOut || m_interrupted; }

private:
    static void completed(GObject* source, GAsyncResult* result, gpointer data);
    GObjectPtr<GAsyncResult> waitFor(std::unique_ptr<GAsyncResult*> slot);
    // Whether a wait also ends once the program is asked to stop: the wait for a call, but not the
    // short wait for a call given up to complete, whose leftovers are the session's to free.
    enum class Stop {
        OnInterruption,
        AtTheEnd,
    };
    void waitUntil(GAsyncResult* const* result, std::chrono::steady_clock::time_point until, Stop stop);

    std::chrono::milliseconds m_timeout;
    std::chrono::steady_clock::time_point m_deadline;
    GMainContext* m_context;
    GSource* m_tick;
    GObjectPtr<GCancellable> m_cancellable;
    GObjectPtr<GDBusConnection> m_connection;
    GObjectPtr<SecretService> m_service;
    bool m_timedOut { false };
    bool m_interrupted { false };
    // Where the results of calls that brought none even when given up would arrive, should
    // they: the session's to free.
    std::vector<std::unique_ptr<GAsyncResult*>> m_abandoned;
};
