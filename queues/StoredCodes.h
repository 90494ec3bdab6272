// The default codes of one queue's stored settings, between the queue's file and the desktop's
// keyring: read from the keyring when the settings are, put where the person's choice says when
// the settings are stored (moving codes stored before), and removed from the keyring with the
// settings. The keyring is asked only where codes are kept in it or about to be, so that a queue
// without codes never loads the keyring module.
#pragma once

#include "queues/CupsDestination.h"
#include "queues/QueueCodesKeyring.h"
#include "queues/QueueSettings.h"
#include "queues/QueueSettingsStore.h"

#include <string>

class StoredCodes {
public:
    // The codes of destination's queue on its server, and the queue's file, which messages name.
    StoredCodes(const CupsDestination& destination, std::string file);

    // Puts the codes that the keyring keeps for the queue into settings (read from its file). An
    // item gone from the keyring leaves settings without codes, and warn says so. False, with the
    // keyring's reason in *error.
    bool readInto(QueueSettings* settings, const QueueSettingsStore::Warning& warn, std::string* error) const;
    // Makes after, the settings about to be written over before, keep its codes where choice says,
    // doing the keyring's part first: codes stored in it, or read from it to move into the file,
    // or removed from it when there are none any more. False, with the reason in *error, when the
    // keyring cannot do its part, or does not answer, or none answers where the person chose it;
    // nothing is lost then, since the file is still as it was. *note says when the codes go into
    // the file for want of a keyring, which is only on a desktop without one; codes the keyring
    // kept never do: a keyring that stopped answering fails the store.
    bool place(const QueueSettings& before, QueueSettingsStore::CodesChoice choice, QueueSettings* after, std::string* error,
        std::string* note) const;
    // Once the file written holds the codes that the keyring held, they leave the keyring. *note
    // says so when they cannot.
    void leaveKeyring(const QueueSettings& before, const QueueSettings& after, std::string* note) const;
    // Removes the keyring's item of the queue when the file says the codes are there, or when no
    // file says where they are (nothing stored, or a file that cannot be read) and a keyring
    // answers. False, with the reason in *error.
    bool forget(const QueueSettings* stored, std::string* error) const;

private:
    std::string server() const;

    CupsDestination m_destination;
    std::string m_file;
    QueueCodesKeyring m_keyring;
};
