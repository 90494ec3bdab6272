// The default codes of a queue (User ID and Account ID) in the desktop's keyring, behind the
// Secret Service API (GNOME Keyring, KWallet, KeePassXC), as one item per queue and server, so
// that no file of the user's holds them in clear. The work is done by a module of its own in the
// product's folder (queues/keyring/, which links libsecret), loaded on the first call, so that a
// dialog that never asks for the codes loads neither libsecret nor GLib. When the module cannot be
// loaded, each call fails with the reason in *error.
//
// No call lasts past the timeout as a whole: a Secret Service that does not answer is given up
// then, and so is an unlock prompt that nobody answers, which stays on screen for the person, so
// that the keyring, once unlocked, serves the next call. Reasons never hold a code.
#pragma once

#include "queues/CupsDestination.h"
#include "program/ProgramsExport.h"
#include "queues/QueueCodes.h"

#include <chrono>
#include <string>

class PROGRAMS_EXPORT QueueCodesKeyring {
public:
    enum class Lookup {
        Found,
        NotFound,
        Failed,
    };

    explicit QueueCodesKeyring(std::chrono::milliseconds timeout = kDefaultCupsTimeout);

    // Whether a Secret Service answers on the session bus. False, with the reason in *reason, when
    // there is no session bus (DBUS_SESSION_BUS_ADDRESS unset and no bus socket in
    // XDG_RUNTIME_DIR: none is ever started for the asking), none answers on it, or it does not
    // answer in time; *givenUp (when given) says whether it was the last, or the program's stop,
    // which leave unknown whether the desktop has one.
    bool available(std::string* reason, bool* givenUp = nullptr) const;
    // Stores the codes of queue on server in the default keyring, in place of the ones stored
    // before, as the item "Printer accounting codes for QUEUE on SERVER". The queue is a CUPS
    // queue's name in any spelling (the item has it in lower case, as CUPS takes "Office" and
    // "office" for one queue); the server is named as the programs reach it ("localhost:631", a
    // socket's path), the same way each time. A locked keyring brings up the desktop's unlock
    // prompt. False, with the reason in *error.
    bool store(const std::string& server, const std::string& queue, const QueueCodes& codes, std::string* error) const;
    // The stored codes of queue on server, in *codes when Found; *codes is left alone otherwise.
    // A locked keyring brings up the desktop's unlock prompt once; dismissed, the read fails. An
    // item that has the queue's attributes but whose secret is not in this product's format is
    // refused, with the reason naming it, and never used.
    Lookup read(const std::string& server, const std::string& queue, QueueCodes* codes, std::string* error) const;
    // Removes the stored codes of queue on server; true also when there were none.
    bool forget(const std::string& server, const std::string& queue, std::string* error) const;

private:
    std::chrono::milliseconds m_timeout;
};
