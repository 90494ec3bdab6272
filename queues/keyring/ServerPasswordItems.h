// The keyring module's calls for a print server's password (ServerPasswordKeyring.h).
#pragma once

#include "queues/QueueCodesKeyring.h"

#include <chrono>
#include <string>

bool storeServerPassword(const std::string& server, const std::string& user, const std::string& password, std::chrono::milliseconds timeout,
    std::string* error);
QueueCodesKeyring::Lookup readServerPassword(const std::string& server, const std::string& user, std::string* password,
    std::chrono::milliseconds timeout, std::string* error);
bool forgetServerPassword(const std::string& server, const std::string& user, std::chrono::milliseconds timeout, std::string* error);
