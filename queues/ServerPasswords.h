// The passwords print servers ask for (HTTP Basic, which the connections give only over TLS or to
// a server of this machine that root or lp listens for: CupsConnection.h). A server's password is asked of the person once per process: the
// program that runs (the agent, printdialog) sets who asks, a window on screen or its script.
// What the person chose to remember is kept in the desktop's keyring once the server has taken it,
// never in a file, and read from there before anyone is asked. A password the server refused is forgotten, in memory and in
// the keyring, so that it is never given again: the next demand asks the person anew.
#pragma once

#include "program/ProgramsExport.h"
#include "queues/QueueCodesKeyring.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

struct PasswordQuestion {
    // The server as messages name it: "the CUPS server at print.example.com:631".
    std::string server;
    // Where it is, for the window's title: "print.example.com:631".
    std::string address;
    // Whose password: the name the person's jobs go in.
    std::string user;
    // The server refused the password given before.
    bool refused { false };
};

struct PasswordAnswer {
    std::string password;
    // Keep it in the desktop's keyring for the next time.
    bool remember { false };
};

// Asks the person; false when they cancelled, or when nobody can be asked, with *why saying which
// ("the password window was cancelled").
using PasswordAsker = std::function<bool(const PasswordQuestion& question, PasswordAnswer* answer, std::string* why)>;

// Who asks from now on, for every server; none (the default): nobody is asked.
PROGRAMS_EXPORT void setPasswordAsker(PasswordAsker asker);

// Who asks while it lives: an asker that refers to what the scope's owner holds goes with it.
class PasswordAskerScope {
public:
    explicit PasswordAskerScope(PasswordAsker asker) { setPasswordAsker(std::move(asker)); }
    ~PasswordAskerScope() { setPasswordAsker({}); }
    PasswordAskerScope(const PasswordAskerScope&) = delete;
    PasswordAskerScope& operator=(const PasswordAskerScope&) = delete;
};

// The password to give server (named by its key, CupsConnection::key) for user: the one given
// before in this process, else the keyring's, else the person's answer. False when there is none,
// with *why saying why the person gave none (empty when nobody is asked).
PROGRAMS_EXPORT bool passwordForServer(const std::string& serverKey, const PasswordQuestion& question, std::string* password, std::string* why);
// How long until the person is asked again for the password of server (named by its key) that they
// declined to give, to whomever it was: none when no answer is declined there now.
PROGRAMS_EXPORT std::optional<std::chrono::seconds> passwordAskedAgainIn(const std::string& serverKey);
// The server took the password given for user: one the person chose to remember goes to the
// keyring now (a line on standard error says so when it cannot).
PROGRAMS_EXPORT void passwordAccepted(const std::string& serverKey, const std::string& user);
// The server refused the password given for user: it is forgotten, and taken from the keyring.
PROGRAMS_EXPORT void passwordRefused(const std::string& serverKey, const std::string& user);

// Whether the keyring remembers a password of user's for server (named by its key), looked up
// without giving it to anyone: Failed, with *error, when the keyring cannot be read.
PROGRAMS_EXPORT QueueCodesKeyring::Lookup passwordRemembered(const std::string& serverKey, const std::string& user, std::string* error);
