#include "queues/keyring/SecretServiceSession.h"

#include "queues/keyring/PatientService.h"

#include "program/PrintableText.h"
#include "program/ProcessGuards.h"
#include "program/Seconds.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks at the clock.
constexpr guint kTickMilliseconds = 50;
// A call given up completes at once: its calls on the bus are cancelled, and a prompt it waits on
// is left to the person (PatientService.h). This bounds the wait for that, should one not.
constexpr std::chrono::milliseconds kGivingUp { 500 };

// Whether GLib finds a session bus without autolaunching one: DBUS_SESSION_BUS_ADDRESS, or else the
// user's own socket "bus" in the runtime folder (systemd's user session puts it there), as
// g_dbus_address_get_for_bus_sync looks for it. None on a server or in a minimal session, nor
// where the programs found none as they started ("disabled:", startProgram).
bool sessionBusFound()
{
    const char* address = getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return strcmp(address, "disabled:") != 0;
    std::string socket = std::string(g_get_user_runtime_dir()) + "/bus";
    struct stat info;
    return stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == geteuid();
}

}

SecretServiceSession::SecretServiceSession(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
    , m_deadline(Clock::now() + timeout)
    , m_context(g_main_context_new())
    , m_tick(g_timeout_source_new(kTickMilliseconds))
    , m_cancellable(g_cancellable_new())
{
    g_source_set_callback(
        m_tick, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
    g_source_attach(m_tick, m_context);
    // libsecret's and GIO's calls made from here on complete in this context.
    g_main_context_push_thread_default(m_context);
}

SecretServiceSession::~SecretServiceSession()
{
    m_service.reset();
    m_connection.reset();
    g_source_destroy(m_tick);
    g_source_unref(m_tick);
    // What the objects let go of (their subscriptions to the bus's signals) is freed in the context
    // they were made in.
    while (g_main_context_iteration(m_context, FALSE)) { }
    for (const auto& slot : m_abandoned) {
        if (*slot)
            g_object_unref(*slot);
    }
    g_main_context_pop_thread_default(m_context);
    g_main_context_unref(m_context);
}

bool SecretServiceSession::open(std::string* error)
{
    if (!sessionBusFound()) {
        *error = "there is no session bus (DBUS_SESSION_BUS_ADDRESS is not set, and the runtime folder holds no bus socket)";
        return false;
    }
    GObjectPtr<GAsyncResult> connecting
        = complete([&](GAsyncReadyCallback done, gpointer data) { g_bus_get(G_BUS_TYPE_SESSION, cancellable(), done, data); });
    GError* problem = nullptr;
    if (connecting)
        m_connection.reset(g_bus_get_finish(connecting.get(), &problem));
    GErrorPtr connectionProblem(problem);
    if (!m_connection) {
        *error = m_timedOut ? "the session bus did not answer within " + inSeconds(m_timeout)
                            : "the session bus cannot be reached (" + failure(problem) + ")";
        return false;
    }
    // GLib's default for the shared connection would end the process with SIGTERM when the bus goes.
    g_dbus_connection_set_exit_on_close(m_connection.get(), FALSE);
    GObjectPtr<GAsyncResult> opening = complete([&](GAsyncReadyCallback done, gpointer data) {
        secret_service_open(patientServiceType(), nullptr, SECRET_SERVICE_OPEN_SESSION, cancellable(), done, data);
    });
    if (opening)
        m_service.reset(secret_service_open_finish(opening.get(), &problem));
    GErrorPtr serviceProblem(problem);
    if (!m_service) {
        *error = m_timedOut ? failure(problem) : "no Secret Service answers on the session bus (" + failure(problem) + ")";
        return false;
    }
    return true;
}

std::string SecretServiceSession::failure(GError* error) const
{
    if (m_interrupted)
        return "the program was asked to stop before the Secret Service answered";
    if (m_timedOut)
        return "the Secret Service did not answer within " + inSeconds(m_timeout);
    if (!error)
        return "no reason given";
    // "GDBus.Error:org.freedesktop.DBus.Error.ServiceUnknown: ..." names the error twice.
    g_dbus_error_strip_remote_error(error);
    return printableText(error->message);
}

void SecretServiceSession::completed(GObject*, GAsyncResult* result, gpointer data)
{
    *static_cast<GAsyncResult**>(data) = G_ASYNC_RESULT(g_object_ref(result));
}

GObjectPtr<GAsyncResult> SecretServiceSession::waitFor(std::unique_ptr<GAsyncResult*> slot)
{
    waitUntil(slot.get(), m_deadline, Stop::OnInterruption);
    if (!*slot) {
        m_interrupted = interruptionRequested();
        m_timedOut = !m_interrupted;
        g_cancellable_cancel(m_cancellable.get());
        waitUntil(slot.get(), Clock::now() + kGivingUp, Stop::AtTheEnd);
    }
    GObjectPtr<GAsyncResult> result(*slot);
    if (!result)
        m_abandoned.push_back(std::move(slot));
    return result;
}

void SecretServiceSession::waitUntil(GAsyncResult* const* result, std::chrono::steady_clock::time_point until, Stop stop)
{
    // A program asked to stop (the agent ends within a second of SIGTERM) does not wait on: the
    // tick wakes the loop often enough to see it.
    while (!*result && Clock::now() < until && !(stop == Stop::OnInterruption && interruptionRequested()))
        g_main_context_iteration(m_context, TRUE);
}
