// The subscriptions a CUPS server holds, as Get-Subscriptions lists them: what a test checks an
// agent made, renewed and cancelled. CUPS shows no lease's end; a subscription still listed after
// its lease has passed has been renewed, since the server drops it within a second otherwise.
#pragma once

#include <string>
#include <vector>

struct ServerSubscription {
    int id { 0 };
    std::string owner; // notify-subscriber-user-name
    std::string delivery; // "ippget", or the recipient's URI
};

// Every subscription on the server at socket (none when it cannot be asked).
std::vector<ServerSubscription> serverSubscriptions(const std::string& socket);
// Those of one user.
std::vector<ServerSubscription> subscriptionsOf(const std::string& socket, const std::string& user);
