#include "queues/cups/JobSubscriptions.h"

#include "queues/cups/CupsRequests.h"
#include "queues/cups/ServerAnswer.h"

#include <algorithm>
#include <iterator>
#include <string_view>

Reply subscribeToJobs(CupsConnection& connection, Delivery delivery, std::chrono::seconds lease, int* subscription, std::string* error)
{
    static const char* const events[] = { "job-created", "job-state-changed" };
    IppMessage request = newServerRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
    if (delivery == Delivery::Pull)
        ippAddString(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
    else
        ippAddString(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_URI, "notify-recipient-uri", nullptr, "dbus://");
    ippAddStrings(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", std::size(events), nullptr, events);
    ippAddInteger(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", static_cast<int>(lease.count()));
    ServerAnswer answer = askServer(connection, std::move(request), error);
    ipp_attribute_t* id
        = answer.reply == Reply::Done ? ippFindAttribute(answer.message.get(), "notify-subscription-id", IPP_TAG_INTEGER) : nullptr;
    *subscription = id ? ippGetInteger(id, 0) : 0;
    if (answer.reply == Reply::Done && !id) {
        *error = connection.server() + " answered without a subscription";
        return Reply::Refused;
    }
    return answer.reply;
}

Reply renewSubscription(CupsConnection& connection, int subscription, std::chrono::seconds lease, std::string* error)
{
    IppMessage request = newServerRequest(IPP_OP_RENEW_SUBSCRIPTION);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", subscription);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-lease-duration", static_cast<int>(lease.count()));
    return askServer(connection, std::move(request), error).reply;
}

Reply cancelSubscription(CupsConnection& connection, int subscription, std::string* error)
{
    IppMessage request = newServerRequest(IPP_OP_CANCEL_SUBSCRIPTION);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", subscription);
    return askServer(connection, std::move(request), error).reply;
}

Reply fetchNotifications(CupsConnection& connection, int subscription, int sequence, Notifications* news, bool* gone, std::string* error)
{
    IppMessage request = newServerRequest(IPP_OP_GET_NOTIFICATIONS);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", subscription);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", sequence);
    ServerAnswer answer = askServer(connection, std::move(request), error);
    *gone = answer.reply == Reply::Refused && answer.status == IPP_STATUS_ERROR_NOT_FOUND;
    *news = Notifications { false, {}, {}, sequence, news->askAgainIn };
    if (answer.reply != Reply::Done)
        return answer.reply;
    ipp_t* response = answer.message.get();
    // Each event is a group of its own: its job, and what the server said of it.
    int job = 0;
    std::string text;
    auto eventDone = [&] {
        if (job > 0 && text.find("account") != std::string::npos)
            news->accountRefusals[job] = text;
        job = 0;
        text.clear();
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        std::string_view key = name ? name : "";
        if (key.empty())
            eventDone();
        else if (key == "notify-get-interval")
            news->askAgainIn = std::chrono::seconds(std::max(1, ippGetInteger(attribute, 0)));
        else if (key == "notify-sequence-number")
            news->nextSequence = std::max(news->nextSequence, ippGetInteger(attribute, 0) + 1);
        else if (key == "notify-job-id")
            news->jobsTold.insert(job = ippGetInteger(attribute, 0));
        else if (key == "notify-text")
            text = textValue(attribute);
        else if (key == "job-state" && ippGetInteger(attribute, 0) == IPP_JSTATE_HELD)
            news->heldJobSeen = true;
    }
    eventDone();
    return Reply::Done;
}
