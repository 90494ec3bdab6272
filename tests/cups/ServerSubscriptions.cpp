#include "ServerSubscriptions.h"

#include <cups/cups.h>

#include <iterator>
#include <string_view>

std::vector<ServerSubscription> serverSubscriptions(const std::string& socket)
{
    std::vector<ServerSubscription> subscriptions;
    http_t* http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (!http)
        return subscriptions;
    ipp_t* request = ippNewRequest(IPP_OP_GET_SUBSCRIPTIONS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddBoolean(request, IPP_TAG_OPERATION, "my-subscriptions", 0);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "all");
    ipp_t* response = cupsDoRequest(http, request, "/");
    ServerSubscription subscription;
    auto finish = [&] {
        if (subscription.id > 0)
            subscriptions.push_back(subscription);
        subscription = ServerSubscription();
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        if (!name) {
            finish();
            continue;
        }
        std::string_view key = name;
        const char* text = ippGetString(attribute, 0, nullptr);
        if (key == "notify-subscription-id")
            subscription.id = ippGetInteger(attribute, 0);
        else if (key == "notify-subscriber-user-name")
            subscription.owner = text ? text : "";
        else if (key == "notify-pull-method" || key == "notify-recipient-uri")
            subscription.delivery = text ? text : "";
    }
    finish();
    ippDelete(response);
    httpClose(http);
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

int subscribeToJobEvents(const std::string& socket)
{
    static const char* const events[] = { "job-created", "job-state-changed", "job-progress", "job-config-changed", "job-completed" };
    http_t* http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (!http)
        return 0;
    ipp_t* request = ippNewRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
    ippAddStrings(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", std::size(events), nullptr, events);
    ipp_t* response = cupsDoRequest(http, request, "/");
    int subscription = ippGetInteger(ippFindAttribute(response, "notify-subscription-id", IPP_TAG_INTEGER), 0);
    ippDelete(response);
    httpClose(http);
    return subscription;
}

std::vector<JobEvent> jobEvents(const std::string& socket, int subscription, int job)
{
    std::vector<JobEvent> events;
    http_t* http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (!http)
        return events;
    ipp_t* request = ippNewRequest(IPP_OP_GET_NOTIFICATIONS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", subscription);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", 1);
    ipp_t* response = cupsDoRequest(http, request, "/");
    JobEvent event;
    int eventJob = 0;
    auto finish = [&] {
        if (eventJob == job)
            events.push_back(event);
        event = JobEvent();
        eventJob = 0;
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        if (!name) {
            finish();
            continue;
        }
        std::string_view key = name;
        const char* text = ippGetString(attribute, 0, nullptr);
        if (key == "notify-job-id")
            eventJob = ippGetInteger(attribute, 0);
        else if (key == "notify-subscribed-event")
            event.event = text ? text : "";
        else if (key == "job-state")
            event.state = ippEnumString("job-state", ippGetInteger(attribute, 0));
        else if (key == "job-state-reasons")
            event.reasons = text ? text : "";
        else if (key == "notify-text")
            event.text = text ? text : "";
    }
    finish();
    ippDelete(response);
    httpClose(http);
    return events;
}
