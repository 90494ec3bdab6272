#include "tests/cups/ServerSubscriptions.h"

#include "queues/cups/IppMessage.h"

#include <cups/cups.h>

#include <algorithm>
#include <iterator>
#include <string_view>

namespace {

// A request of the test's own user about the server as a whole.
IppMessage serverRequest(ipp_op_t operation)
{
    IppMessage request = newIppRequest(operation);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

// The server's answer to request, over a connection of its own (null when there is none).
IppMessage ask(const std::string& socket, IppMessage request)
{
    http_t* http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (!http)
        return nullptr;
    IppMessage response(cupsDoRequest(http, request.release(), "/"));
    httpClose(http);
    return response;
}

// Hands take each attribute of the answer's groups, by name with its first text (or ""), and
// groupEnds the end of each group.
template<typename Take, typename GroupEnd>
void readGroups(const IppMessage& answer, Take take, GroupEnd groupEnds)
{
    ipp_t* response = answer.get();
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        if (!name) {
            groupEnds();
            continue;
        }
        const char* text = ippGetString(attribute, 0, nullptr);
        take(std::string_view(name), attribute, std::string(text ? text : ""));
    }
    groupEnds();
}

}

std::vector<ServerSubscription> serverSubscriptions(const std::string& socket)
{
    IppMessage request = serverRequest(IPP_OP_GET_SUBSCRIPTIONS);
    ippAddBoolean(request.get(), IPP_TAG_OPERATION, "my-subscriptions", 0);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "all");
    std::vector<ServerSubscription> subscriptions;
    ServerSubscription subscription;
    readGroups(
        ask(socket, std::move(request)),
        [&](std::string_view key, ipp_attribute_t* attribute, const std::string& text) {
            if (key == "notify-subscription-id")
                subscription.id = ippGetInteger(attribute, 0);
            else if (key == "notify-subscriber-user-name")
                subscription.owner = text;
            else if (key == "notify-pull-method" || key == "notify-recipient-uri")
                subscription.delivery = text;
        },
        [&] {
            if (subscription.id > 0)
                subscriptions.push_back(subscription);
            subscription = ServerSubscription();
        });
    return subscriptions;
}

std::vector<ServerSubscription> subscriptionsOf(const std::string& socket, const std::string& user)
{
    std::vector<ServerSubscription> mine;
    for (const ServerSubscription& subscription : serverSubscriptions(socket)) {
        if (subscription.owner == user)
            mine.push_back(subscription);
    }
    return mine;
}

void cancelSubscriptionsBut(const std::string& socket, const std::vector<int>& kept)
{
    for (const ServerSubscription& subscription : serverSubscriptions(socket)) {
        if (std::find(kept.begin(), kept.end(), subscription.id) != kept.end())
            continue;
        IppMessage request = serverRequest(IPP_OP_CANCEL_SUBSCRIPTION);
        ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", subscription.id);
        ask(socket, std::move(request));
    }
}

int subscribeToJobEvents(const std::string& socket)
{
    static const char* const events[] = { "job-created", "job-state-changed", "job-progress", "job-config-changed", "job-completed" };
    IppMessage request = serverRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
    ippAddString(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
    ippAddStrings(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", std::size(events), nullptr, events);
    IppMessage response = ask(socket, std::move(request));
    int subscription = ippGetInteger(ippFindAttribute(response.get(), "notify-subscription-id", IPP_TAG_INTEGER), 0);
    return subscription;
}

std::vector<JobEvent> jobEvents(const std::string& socket, int subscription, int job)
{
    IppMessage request = serverRequest(IPP_OP_GET_NOTIFICATIONS);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", subscription);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", 1);
    std::vector<JobEvent> events;
    JobEvent event;
    int eventJob = 0;
    readGroups(
        ask(socket, std::move(request)),
        [&](std::string_view key, ipp_attribute_t* attribute, const std::string& text) {
            if (key == "notify-job-id")
                eventJob = ippGetInteger(attribute, 0);
            else if (key == "notify-subscribed-event")
                event.event = text;
            else if (key == "job-state")
                event.state = ippEnumString("job-state", ippGetInteger(attribute, 0));
            else if (key == "job-state-reasons")
                event.reasons = text;
            else if (key == "notify-text")
                event.text = text;
        },
        [&] {
            if (eventJob == job)
                events.push_back(event);
            event = JobEvent();
            eventJob = 0;
        });
    return events;
}
