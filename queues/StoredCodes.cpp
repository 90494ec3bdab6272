#include "queues/StoredCodes.h"

#include "queues/CupsPrinter.h"

namespace {

using Place = QueueSettings::CodesPlace;
using Choice = QueueSettingsStore::CodesChoice;

}

StoredCodes::StoredCodes(const CupsDestination& destination, std::string file)
    : m_destination(destination)
    , m_file(std::move(file))
    , m_keyring(destination.timeout)
{
}

std::string StoredCodes::server() const
{
    return cupsServerKey(m_destination.server);
}

bool StoredCodes::readInto(QueueSettings* settings, const QueueSettingsStore::Warning& warn, std::string* error) const
{
    QueueCodes codes;
    switch (m_keyring.read(server(), m_destination.queue, &codes, error)) {
    case QueueCodesKeyring::Lookup::Found:
        settings->setCodes(codes);
        return true;
    case QueueCodesKeyring::Lookup::NotFound:
        settings->setCodes({});
        warn("the default codes of queue " + m_destination.queue
            + " are kept in the desktop's keyring, which no longer holds them: the queue has none until they are stored again");
        return true;
    case QueueCodesKeyring::Lookup::Failed:
        break;
    }
    return false;
}

bool StoredCodes::place(const QueueSettings& before, Choice choice, QueueSettings* after, std::string* error, std::string* note) const
{
    Place was = before.codesPlace();
    // With the prompt on, the codes kept are the ones kept before (QueueSettings::keptAfter); those
    // in the keyring are read only to move into the file.
    bool keptInKeyring = after->asksForCodes() && was == Place::Keyring;
    if (choice == Choice::File || (choice == Choice::AsBefore && was == Place::FileByChoice)) {
        after->setCodesPlace(Place::FileByChoice);
        auto unheard = [](const std::string&) {};
        return !keptInKeyring || readInto(after, unheard, error);
    }
    if (keptInKeyring) {
        after->setCodesPlace(Place::Keyring);
        return true;
    }
    QueueCodes codes = after->codes();
    std::string absent;
    bool givenUp = false;
    // Codes the keyring kept stay there: one that does not answer now fails the store, rather than
    // moving them into the file.
    if (codes.empty() || (was != Place::Keyring && !m_keyring.available(&absent, &givenUp))) {
        // Codes already in the file for want of a keyring stay there while one does not answer;
        // none go there newly unless the desktop has no keyring at all and the person chose none.
        bool stayInFile = choice == Choice::AsBefore && was == Place::File;
        if (!codes.empty() && (choice == Choice::KeyringOnly || (givenUp && !stayInFile))) {
            *error = (choice == Choice::KeyringOnly ? "you chose the desktop's keyring for the codes, and " : "the desktop's keyring cannot take the codes: ")
                + absent;
            return false;
        }
        after->setCodesPlace(Place::File);
        if (!codes.empty())
            *note = "the default codes of queue " + m_destination.queue + " are kept in " + m_file + ", readable by you alone, for want of a keyring: "
                + absent;
        return true;
    }
    if (!m_keyring.store(server(), m_destination.queue, codes, error))
        return false;
    after->setCodes({});
    after->setCodesPlace(Place::Keyring);
    return true;
}

void StoredCodes::leaveKeyring(const QueueSettings& before, const QueueSettings& after, std::string* note) const
{
    if (before.codesPlace() != Place::Keyring || after.codesPlace() == Place::Keyring)
        return;
    std::string error;
    if (!m_keyring.forget(server(), m_destination.queue, &error))
        *note = error;
}

bool StoredCodes::forget(const QueueSettings* stored, std::string* error) const
{
    if (stored && stored->codesPlace() != Place::Keyring)
        return true;
    std::string absent;
    if (!stored && !m_keyring.available(&absent))
        return true;
    return m_keyring.forget(server(), m_destination.queue, error);
}
