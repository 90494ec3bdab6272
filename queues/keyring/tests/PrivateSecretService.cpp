#include "queues/keyring/tests/PrivateSecretService.h"

#include "tests/support/TemporaryTree.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <libsecret/secret.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kBusDaemon = "/usr/bin/dbus-daemon";
constexpr const char* kKeyringDaemon = "/usr/bin/gnome-keyring-daemon";
constexpr const char* kPassword = "login password of the test";
constexpr std::chrono::seconds kStartingTime { 10 };

bool eventually(const auto& condition)
{
    auto deadline = std::chrono::steady_clock::now() + kStartingTime;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void stopProcess(pid_t* process)
{
    if (*process > 0) {
        kill(*process, SIGCONT);
        kill(*process, SIGTERM);
        waitpid(*process, nullptr, 0);
        *process = -1;
    }
}

std::string takeMessage(GError* error)
{
    std::string message = error ? error->message : "no reason given";
    g_clear_error(&error);
    return message;
}

// The session's runtime folder, one for the process: GLib reads XDG_RUNTIME_DIR once.
const std::string& runtimeFolder()
{
    static TemporaryTree folder;
    return folder.root();
}

// A child of the test's that does not outlive it, however the test ends.
pid_t startChild()
{
    pid_t child = fork();
    if (child == 0)
        prctl(PR_SET_PDEATHSIG, SIGKILL);
    return child;
}

// libsecret's synchronous calls, on the process's connection to the session bus as libsecret
// always makes them, and on a main context of their own, so that everything they leave behind
// is freed at the end.
class ServiceView {
public:
    ServiceView()
        : m_context(g_main_context_new())
    {
        g_main_context_push_thread_default(m_context);
        GError* error = nullptr;
        m_connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (m_connection) {
            // The bus goes at the end of each test; the test process stays.
            g_dbus_connection_set_exit_on_close(m_connection, FALSE);
            m_service = secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
        }
        if (!m_service)
            m_problem = takeMessage(error);
    }
    ~ServiceView()
    {
        if (m_service)
            g_object_unref(m_service);
        if (m_connection)
            g_object_unref(m_connection);
        while (g_main_context_iteration(m_context, FALSE)) { }
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }
    ServiceView(const ServiceView&) = delete;
    ServiceView& operator=(const ServiceView&) = delete;

    SecretService* service() const { return m_service; }
    const std::string& problem() const { return m_problem; }

    // The default keyring, which the daemon made and unlocked at its start.
    SecretCollection* defaultKeyring() const
    {
        GError* error = nullptr;
        SecretCollection* keyring = secret_collection_for_alias_sync(m_service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
        g_clear_error(&error);
        return keyring;
    }

private:
    GMainContext* m_context;
    GDBusConnection* m_connection { nullptr };
    SecretService* m_service { nullptr };
    std::string m_problem;
};

KeyringEntry entryOf(SecretItem* item)
{
    KeyringEntry entry;
    entry.path = g_dbus_proxy_get_object_path(G_DBUS_PROXY(item));
    gchar* label = secret_item_get_label(item);
    entry.label = label ? label : "";
    g_free(label);
    GHashTable* attributes = secret_item_get_attributes(item);
    GHashTableIter each;
    gpointer name;
    gpointer value;
    g_hash_table_iter_init(&each, attributes);
    while (g_hash_table_iter_next(&each, &name, &value))
        entry.attributes[static_cast<const char*>(name)] = static_cast<const char*>(value);
    g_hash_table_unref(attributes);
    entry.locked = secret_item_get_locked(item);
    if (SecretValue* secret = secret_item_get_secret(item)) {
        gsize length = 0;
        const gchar* bytes = secret_value_get(secret, &length);
        entry.secret.assign(bytes, length);
        secret_value_unref(secret);
    }
    return entry;
}

}

std::string PrivateSecretService::unavailable()
{
    std::string missing;
    for (const char* program : { kBusDaemon, kKeyringDaemon }) {
        if (access(program, X_OK) != 0)
            missing += std::string(missing.empty() ? "" : " and ") + program;
    }
    return missing.empty() ? "" : "a session's keyring needs " + missing + " (scripts/setup installs dbus-daemon and gnome-keyring)";
}

PrivateSecretService::PrivateSecretService(TemporaryTree& tree)
    : m_tree(tree)
{
    m_environment.set("XDG_RUNTIME_DIR", runtimeFolder());
    m_environment.unset("DBUS_SESSION_BUS_ADDRESS");
}

PrivateSecretService::~PrivateSecretService()
{
    stopProcess(&m_keyring);
    stopProcess(&m_bus);
}

bool PrivateSecretService::startBus(std::string* error, UnlockPrompt prompt)
{
    // The prompter that GNOME Keyring asks to show its prompts: one that comes up on the bus
    // but never takes the prompter's name, and goes with the bus.
    std::string services = m_tree.path("services");
    if (prompt == UnlockPrompt::Unanswered) {
        m_tree.addFile("services/org.gnome.keyring.SystemPrompter.service",
            "[D-BUS Service]\nName=org.gnome.keyring.SystemPrompter\nExec=" + m_tree.path("silent-prompter") + "\n");
        m_tree.addFile("silent-prompter", "#!/bin/sh\nexec dbus-monitor --address \"$DBUS_STARTER_ADDRESS\" >/dev/null 2>&1\n");
        chmod(m_tree.path("silent-prompter").c_str(), 0755);
    }

    std::string socket = runtimeFolder() + "/bus";
    // The socket of the bus of a test before, which did not end as it should.
    unlink(socket.c_str());
    std::string configuration = m_tree.path("session-bus.conf");
    std::ofstream(configuration) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                    "<busconfig>\n  <type>session</type>\n  <listen>unix:path="
                                 << socket
                                 << "</listen>\n  <auth>EXTERNAL</auth>\n  <servicedir>" << services
                                 << "</servicedir>\n"
                                    "  <policy context=\"default\">\n    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
                                    "    <allow send_type=\"*\"/>\n    <allow receive_type=\"*\"/>\n  </policy>\n</busconfig>\n";
    m_bus = startChild();
    if (m_bus == 0) {
        // Its complaint that it may not raise its descriptor limit is of no interest.
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        execl(kBusDaemon, "dbus-daemon", "--nofork", "--nopidfile", ("--config-file=" + configuration).c_str(), nullptr);
        _exit(127);
    }
    if (!eventually([&] { return access(socket.c_str(), F_OK) == 0; })) {
        *error = "the private session bus did not come up";
        return false;
    }
    m_address = "unix:path=" + socket;
    m_environment.set("DBUS_SESSION_BUS_ADDRESS", m_address);
    return true;
}

bool PrivateSecretService::startKeyring(std::string* error)
{
    for (const char* folder : { "home", "home/.local", "home/.local/share", "home/.config", "home/.cache", "keyring-runtime" })
        mkdir(m_tree.path(folder).c_str(), 0700);
    int password[2];
    if (pipe(password) != 0) {
        *error = "no pipe for the keyring's password";
        return false;
    }
    m_keyring = startChild();
    if (m_keyring == 0) {
        dup2(password[0], STDIN_FILENO);
        close(password[0]);
        close(password[1]);
        int log = open(m_tree.path("keyring.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        setenv("HOME", m_tree.path("home").c_str(), 1);
        setenv("XDG_DATA_HOME", m_tree.path("home/.local/share").c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_tree.path("home/.config").c_str(), 1);
        setenv("XDG_CACHE_HOME", m_tree.path("home/.cache").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", m_tree.path("keyring-runtime").c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", m_address.c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        execl(kKeyringDaemon, "gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets", nullptr);
        _exit(127);
    }
    close(password[0]);
    [[maybe_unused]] ssize_t written = write(password[1], kPassword, strlen(kPassword));
    close(password[1]);
    std::string problem;
    bool up = eventually([&] {
        ServiceView view;
        problem = view.problem();
        SecretCollection* keyring = view.service() ? view.defaultKeyring() : nullptr;
        if (keyring)
            g_object_unref(keyring);
        return keyring != nullptr;
    });
    if (!up)
        *error = "the private keyring did not come up: " + problem + "\n" + fileContents(m_tree.path("keyring.log"));
    return up;
}

void PrivateSecretService::pauseKeyring()
{
    kill(m_keyring, SIGSTOP);
}

void PrivateSecretService::resumeKeyring()
{
    kill(m_keyring, SIGCONT);
}

std::vector<KeyringEntry> PrivateSecretService::entries() const
{
    std::vector<KeyringEntry> found;
    ServiceView view;
    if (!view.service())
        return found;
    GHashTable* everything = g_hash_table_new(g_str_hash, g_str_equal);
    GError* error = nullptr;
    GList* items = secret_service_search_sync(view.service(), nullptr, everything, SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS),
        nullptr, &error);
    g_clear_error(&error);
    g_hash_table_unref(everything);
    for (GList* item = items; item; item = item->next)
        found.push_back(entryOf(static_cast<SecretItem*>(item->data)));
    g_list_free_full(items, g_object_unref);
    return found;
}

bool PrivateSecretService::addItem(const std::string& label, const std::map<std::string, std::string>& attributes, const std::string& secret) const
{
    ServiceView view;
    if (!view.service())
        return false;
    GHashTable* table = g_hash_table_new(g_str_hash, g_str_equal);
    for (const auto& [name, value] : attributes)
        g_hash_table_insert(table, const_cast<char*>(name.c_str()), const_cast<char*>(value.c_str()));
    SecretValue* value = secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain");
    GError* error = nullptr;
    bool added = secret_service_store_sync(view.service(), nullptr, table, SECRET_COLLECTION_DEFAULT, label.c_str(), value, nullptr, &error);
    g_clear_error(&error);
    secret_value_unref(value);
    g_hash_table_unref(table);
    return added;
}

bool PrivateSecretService::lockDefaultKeyring() const
{
    ServiceView view;
    SecretCollection* keyring = view.service() ? view.defaultKeyring() : nullptr;
    if (!keyring)
        return false;
    GList* objects = g_list_append(nullptr, keyring);
    GError* error = nullptr;
    bool locked = secret_service_lock_sync(view.service(), objects, nullptr, nullptr, &error) == 1;
    g_clear_error(&error);
    g_list_free(objects);
    g_object_unref(keyring);
    return locked;
}
