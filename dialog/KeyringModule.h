// The keyring module's interface: the calls of QueueCodesKeyring, which the dialog library
// forwards to the module (dialog/keyring/) once it has loaded it.
#pragma once

#include "QueueCodesKeyring.h"

#include <chrono>
#include <string>

struct KeyringModule {
    bool (*available)(std::chrono::milliseconds timeout, std::string* reason, bool* givenUp);
    bool (*store)(const std::string& server, const std::string& queue, const QueueCodes& codes, std::chrono::milliseconds timeout,
        std::string* error);
    QueueCodesKeyring::Lookup (*read)(const std::string& server, const std::string& queue, QueueCodes* codes,
        std::chrono::milliseconds timeout, std::string* error);
    bool (*forget)(const std::string& server, const std::string& queue, std::chrono::milliseconds timeout, std::string* error);
};

// Exported by the module under this name.
#define kKeyringModuleEntryPoint "PrintDialogKeyringModule"
