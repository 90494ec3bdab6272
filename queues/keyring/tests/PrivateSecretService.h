// A desktop session's keyring of the test's own: a session bus (dbus-daemon) and GNOME Keyring's
// Secret Service (gnome-keyring-daemon) on it, with the keyring's home, data and runtime folders
// in the test's temporary tree, so that nothing touches the machine's own keyring or buses. The
// keyring "login", the default one, is made and unlocked with a password given on standard
// input, as the desktop's login does. The bus starts nothing by itself, so no unlock prompt can
// come up: one is dismissed at once, as a person would dismiss it; or, on request, the prompter
// is started but never shows, as a prompt that nobody answers.
//
// The test process joins the session: DBUS_SESSION_BUS_ADDRESS names the bus, and the runtime
// folder (XDG_RUNTIME_DIR) holds its socket "bus", as systemd's user session's does. That folder
// is one for the whole process, since GLib reads XDG_RUNTIME_DIR once. The test looks into the
// keyring through libsecret itself, apart from the code under test.
#pragma once

#include "tests/support/EnvironmentChanges.h"

#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

class TemporaryTree;

// An item as the keyring's manager shows it.
struct KeyringEntry {
    std::string path; // its D-Bus object path
    std::string label;
    std::map<std::string, std::string> attributes;
    std::string secret;
    bool locked { false };
};

class PrivateSecretService {
public:
    enum class UnlockPrompt {
        Dismissed,
        Unanswered,
    };

    // Why a test of a session's keyring is skipped here: the programs the fixture needs and the
    // machine lacks (scripts/setup installs both); empty when nothing is.
    static std::string unavailable();

    // The process joins a session that has no bus yet: XDG_RUNTIME_DIR names the runtime folder,
    // and DBUS_SESSION_BUS_ADDRESS is unset.
    explicit PrivateSecretService(TemporaryTree& tree);
    // Stops what runs, and leaves the session.
    ~PrivateSecretService();
    PrivateSecretService(const PrivateSecretService&) = delete;
    PrivateSecretService& operator=(const PrivateSecretService&) = delete;

    // The bus, which DBUS_SESSION_BUS_ADDRESS then names; then the keyring on it. False, with the
    // reason in *error, when either does not come up.
    bool startBus(std::string* error, UnlockPrompt prompt = UnlockPrompt::Dismissed);
    bool startKeyring(std::string* error);
    // What a program is given to join the session (ProgramOptions::environment).
    std::pair<std::string, std::string> busVariable() const { return { "DBUS_SESSION_BUS_ADDRESS", m_address }; }

    // The keyring daemon stops answering (SIGSTOP), and answers again (SIGCONT).
    void pauseKeyring();
    void resumeKeyring();

    // Every item of every keyring; locked ones without their secret.
    std::vector<KeyringEntry> entries() const;
    // Adds an item to the default keyring as any program of the session may.
    bool addItem(const std::string& label, const std::map<std::string, std::string>& attributes, const std::string& secret) const;
    // Locks the default keyring, as the desktop's screen lock or "Lock" in its manager does.
    bool lockDefaultKeyring() const;

private:
    TemporaryTree& m_tree;
    EnvironmentChanges m_environment;
    std::string m_address;
    pid_t m_bus { -1 };
    pid_t m_keyring { -1 };
};
