// The subscriptions a CUPS server holds, as Get-Subscriptions lists them: what a test checks an
// agent made, renewed and cancelled. CUPS shows no lease's end; a subscription still listed after
// its lease has passed has been renewed, since the server drops it within a second otherwise.
// And a test's own subscription to the server's job events, which tell what no job attribute
// keeps: why the server held a job.
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
// Cancels, as the test's own user, every subscription on the server whose number is not among
// kept: what a test's programs left behind, however they ended.
void cancelSubscriptionsBut(const std::string& socket, const std::vector<int>& kept);

// A job event as Get-Notifications gives it: the job's state and reasons at that moment.
struct JobEvent {
    std::string event; // notify-subscribed-event: "job-state-changed", "job-progress", ...
    std::string state; // job-state: "pending-held", ...
    std::string reasons; // job-state-reasons
    std::string text; // notify-text
};

// A pull subscription of the test's own user to every job event on the server at socket; its
// number, or 0 when the server made none.
int subscribeToJobEvents(const std::string& socket);
// The events of job that the subscription has kept, oldest first.
std::vector<JobEvent> jobEvents(const std::string& socket, int subscription, int job);
