// The subscriptions that bring the agent news of the jobs on the server: made
// (Create-Printer-Subscriptions), renewed before their lease ends (Renew-Subscription), read
// (Get-Notifications) and cancelled (Cancel-Subscription), each request in the user's name.
#pragma once

#include "queues/cups/ServerReply.h"
#include "program/ProgramsExport.h"

#include <chrono>
#include <map>
#include <set>
#include <string>

class CupsConnection;

// Where a subscription's events go: kept for Get-Notifications, or also rung on the system bus
// by CUPS's own D-Bus notifier.
enum class Delivery {
    Pull,
    SystemBus,
};

// What a Get-Notifications brought.
struct Notifications {
    bool heldJobSeen { false }; // an event tells of a job that is now pending-held
    std::set<int> jobsTold {}; // every job an event told of
    // What the server said of each job it held as the printer refused its account (the event's
    // notify-text), by job: the one place that says which refusal it was.
    std::map<int, std::string> accountRefusals {};
    int nextSequence { 1 };
    std::chrono::seconds askAgainIn { 60 }; // the server's notify-get-interval
};

// A subscription to the creation and state changes of every job on the server; 0 when there is
// none, the reason in *error.
PROGRAMS_EXPORT Reply subscribeToJobs(CupsConnection& connection, Delivery delivery, std::chrono::seconds lease, int* subscription,
    std::string* error);
PROGRAMS_EXPORT Reply renewSubscription(CupsConnection& connection, int subscription, std::chrono::seconds lease, std::string* error);
PROGRAMS_EXPORT Reply cancelSubscription(CupsConnection& connection, int subscription, std::string* error);
// The events from sequence on. A subscription that is gone is Refused with *gone set.
PROGRAMS_EXPORT Reply fetchNotifications(CupsConnection& connection, int subscription, int sequence, Notifications* news, bool* gone,
    std::string* error);
