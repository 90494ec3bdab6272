// The keyring module's interface: the calls of QueueCodesKeyring and ServerPasswordKeyring, which
// the dialog library forwards to the module (queues/keyring/) once it has loaded it.
#pragma once

#include "queues/QueueCodesKeyring.h"

#include <chrono>
#include <string>

struct KeyringModule {
    bool (*available)(std::chrono::milliseconds timeout, std::string* reason, bool* givenUp);
    bool (*store)(const std::string& server, const std::string& queue, const QueueCodes& codes, std::chrono::milliseconds timeout,
        std::string* error);
    QueueCodesKeyring::Lookup (*read)(const std::string& server, const std::string& queue, QueueCodes* codes,
        std::chrono::milliseconds timeout, std::string* error);
    bool (*forget)(const std::string& server, const std::string& queue, std::chrono::milliseconds timeout, std::string* error);
    bool (*storePassword)(const std::string& server, const std::string& user, const std::string& password, std::chrono::milliseconds timeout,
        std::string* error);
    QueueCodesKeyring::Lookup (*readPassword)(const std::string& server, const std::string& user, std::string* password,
        std::chrono::milliseconds timeout, std::string* error);
    bool (*forgetPassword)(const std::string& server, const std::string& user, std::chrono::milliseconds timeout, std::string* error);
};

// The module, loaded from the product's folder on the first call and kept; null, with the reason
// in *error, when it cannot be.
const KeyringModule* keyringModule(std::string* error);

// Exported by the module under this name.
#define kKeyringModuleEntryPoint "KeyringModuleEntry"
