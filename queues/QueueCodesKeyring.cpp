#include "queues/QueueCodesKeyring.h"

#include "queues/KeyringModule.h"
#include "program/ProgramFolder.h"

const KeyringModule* keyringModule(std::string* error)
{
    // Loaded once and kept: GLib's types, once registered, stay for the process.
    static const KeyringModule* module = nullptr;
    if (!module)
        module = loadProductModule<KeyringModule>(ACCOUNTING_KEYRING_MODULE, kKeyringModuleEntryPoint, "the keyring module", error);
    return module;
}

QueueCodesKeyring::QueueCodesKeyring(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
{
}

bool QueueCodesKeyring::available(std::string* reason, bool* givenUp) const
{
    bool unanswered = false;
    const KeyringModule* module = keyringModule(reason);
    bool answers = module && module->available(m_timeout, reason, &unanswered);
    if (givenUp)
        *givenUp = unanswered;
    return answers;
}

bool QueueCodesKeyring::store(const std::string& server, const std::string& queue, const QueueCodes& codes, std::string* error) const
{
    const KeyringModule* module = keyringModule(error);
    return module && module->store(server, queue, codes, m_timeout, error);
}

QueueCodesKeyring::Lookup QueueCodesKeyring::read(const std::string& server, const std::string& queue, QueueCodes* codes,
    std::string* error) const
{
    const KeyringModule* module = keyringModule(error);
    return module ? module->read(server, queue, codes, m_timeout, error) : Lookup::Failed;
}

bool QueueCodesKeyring::forget(const std::string& server, const std::string& queue, std::string* error) const
{
    const KeyringModule* module = keyringModule(error);
    return module && module->forget(server, queue, m_timeout, error);
}
