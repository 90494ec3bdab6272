#include "agent/ServerJobs.h"

#include "queues/cups/CupsRequests.h"
#include "queues/cups/JobOptions.h"
#include "queues/cups/JobPrivacy.h"
#include "queues/QueueSettings.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <set>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr const char* kServerURI = "ipp://localhost/";

std::string jobURI(int job)
{
    return "ipp://localhost/jobs/" + std::to_string(job);
}

ipp_t* newRequest(ipp_op_t operation)
{
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, kServerURI);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

ipp_t* newJobRequest(ipp_op_t operation, int job)
{
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, jobURI(job).c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

std::string stringValue(ipp_attribute_t* attribute)
{
    const char* text = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
    return text ? text : "";
}

// The queue of a job: the last part of its printer's URI (.../printers/QUEUE or .../classes/QUEUE).
std::string queueOf(const std::string& printerURI)
{
    size_t slash = printerURI.rfind('/');
    return slash == std::string::npos ? printerURI : printerURI.substr(slash + 1);
}

// The jobs of a Get-Jobs response, one group of attributes each.
std::vector<ServerJob> jobsOf(ipp_t* response)
{
    std::vector<ServerJob> jobs;
    std::set<int> listed;
    ServerJob job;
    bool pendingHeld = false;
    std::string holdUntil;
    // A job listed twice in one answer is still one job, handled once.
    auto finish = [&] {
        if (job.id > 0 && listed.insert(job.id).second) {
            job.heldIndefinitely = pendingHeld && holdUntil == "indefinite";
            job.refusedByPrinter = pendingHeld && holdUntil == "no-hold" && job.processedAt > 0;
            jobs.push_back(job);
        }
        job = ServerJob();
        pendingHeld = false;
        holdUntil.clear();
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        if (!name) {
            finish();
            continue;
        }
        if (ippGetGroupTag(attribute) != IPP_TAG_JOB)
            continue;
        std::string_view key = name;
        if (key == "job-id")
            job.id = ippGetInteger(attribute, 0);
        else if (key == "job-printer-uri")
            job.queue = queueOf(stringValue(attribute));
        else if (key == "job-name")
            job.name = stringValue(attribute);
        else if (key == "job-state")
            pendingHeld = ippGetInteger(attribute, 0) == IPP_JSTATE_HELD;
        else if (key == "job-hold-until")
            holdUntil = stringValue(attribute);
        else if (key == "time-at-processing")
            job.processedAt = ippGetInteger(attribute, 0);
        else if (key == "number-of-documents")
            job.documentArrived = ippGetInteger(attribute, 0) > 0;
        else if (key == "job-accounting-user-id")
            job.carriesAccounting = true;
        else if (key == "job-originating-host-name")
            job.originHost = stringValue(attribute);
        else if (key == "time-at-creation")
            job.createdAt = ippGetInteger(attribute, 0);
    }
    finish();
    return jobs;
}

}

Reply ServerJobs::connect(std::string* error)
{
    rest();
    auto connection = std::make_unique<CupsConnection>();
    bool opened = connection->open(destination(""), error);
    m_serverName = connection->server();
    m_local = connection->isLocal();
    // The user's jobs are listed as theirs only to a request that proves who they are.
    if (opened && !connection->proveTheUser()) {
        *error = connection->failure();
        opened = false;
    }
    m_connection = opened ? std::move(connection) : nullptr;
    return opened ? Reply::Done : Reply::Lost;
}

void ServerJobs::disconnect()
{
    rest();
    m_holdingQueues.clear();
    m_queuesTakingAnyName.clear();
    m_queuesShowingJobsToProvenUsers.clear();
}

void ServerJobs::rest()
{
    if (m_connection)
        m_earlierConnections += m_connection->connectionsMade();
    m_connection.reset();
}

const bool* ServerJobs::PolicyAnswers::find(const std::string& queue, unsigned connection)
{
    if (learntOn != connection)
        answers.clear();
    auto known = answers.find(queue);
    return known != answers.end() ? &known->second : nullptr;
}

void ServerJobs::PolicyAnswers::remember(const std::string& queue, unsigned connection, bool answer)
{
    if (learntOn != connection)
        answers.clear();
    learntOn = connection;
    answers[queue] = answer;
}

unsigned ServerJobs::connectionNumber() const
{
    return m_earlierConnections + (m_connection ? m_connection->connectionsMade() : 0);
}

int ServerJobs::socket() const
{
    return m_connection ? httpGetFd(m_connection->http()) : -1;
}

Reply ServerJobs::send(ipp_t* request, ipp_t** response, std::string* error, ipp_status_t* answered, CupsConnection::Credentials credentials,
    const std::string& resource, int document)
{
    *response = nullptr;
    ipp_status_t status = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
    if (answered)
        *answered = status;
    if (!m_connection && connect(error) != Reply::Done) {
        ippDelete(request);
        return Reply::Lost;
    }
    m_connection->startStep();
    *response = m_connection->exchange(request, resource, &status, document, credentials);
    if (answered)
        *answered = status;
    if (m_connection->succeeded(status))
        return Reply::Done;
    *error = m_connection->failure();
    // Without an answer at all the server has gone, or stopped answering.
    if (!*response && (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL || m_connection->pastDeadline())) {
        if (error->rfind(m_serverName, 0) != 0)
            *error = m_serverName + " cannot be reached: " + *error;
        disconnect();
        return Reply::Lost;
    }
    return Reply::Refused;
}

Reply ServerJobs::listJobs(std::vector<ServerJob>* jobs, std::string* error)
{
    static const char* const attributes[] = { "job-id", "job-printer-uri", "job-name", "job-state", "job-hold-until", "number-of-documents",
        "job-accounting-user-id", "job-originating-host-name", "time-at-creation", "time-at-processing" };
    ipp_t* request = newRequest(IPP_OP_GET_JOBS);
    ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", std::size(attributes), nullptr, attributes);
    ipp_t* response = nullptr;
    Reply reply = send(request, &response, error);
    if (reply == Reply::Done)
        *jobs = jobsOf(response);
    ippDelete(response);
    return reply;
}

Reply ServerJobs::queueHoldsNewJobs(const std::string& queue, bool* holds, std::string* error)
{
    if (auto known = m_holdingQueues.find(queue); known != m_holdingQueues.end()) {
        *holds = known->second;
        return Reply::Done;
    }
    ipp_t* request = newQueueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, queue);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-hold-until-default");
    ipp_t* response = nullptr;
    Reply reply = send(request, &response, error);
    ipp_attribute_t* hold = reply == Reply::Done ? ippFindAttribute(response, "job-hold-until-default", IPP_TAG_ZERO) : nullptr;
    *holds = stringValue(hold) == "indefinite";
    ippDelete(response);
    if (reply == Reply::Done)
        m_holdingQueues[queue] = *holds;
    return reply;
}

Reply ServerJobs::queueTakesJobsInAnyName(const std::string& queue, bool* takes, std::string* error)
{
    if (const bool* known = m_queuesTakingAnyName.find(queue, connectionNumber())) {
        *takes = *known;
        return Reply::Done;
    }
    // Print-URI only where the queue has it (CUPS has not).
    std::vector<ipp_op_t> creating { IPP_OP_PRINT_JOB, IPP_OP_CREATE_JOB };
    ipp_t* request = newQueueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, queue);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "operations-supported");
    ipp_t* response = nullptr;
    Reply reply = send(request, &response, error);
    ipp_attribute_t* operations = reply == Reply::Done ? ippFindAttribute(response, "operations-supported", IPP_TAG_ENUM) : nullptr;
    if (operations && ippContainsInteger(operations, IPP_OP_PRINT_URI))
        creating.push_back(IPP_OP_PRINT_URI);
    ippDelete(response);
    if (reply == Reply::Lost)
        return reply;
    unsigned learntOn = connectionNumber();
    *takes = false;
    for (ipp_op_t operation : creating) {
        bool letsIn = true;
        if (letsInAnonymous(queue, operation, &letsIn, error) == Reply::Lost)
            return Reply::Lost;
        *takes = *takes || letsIn;
    }
    // Learnt on the connections the probes went over; one made anew meanwhile asks again.
    if (connectionNumber() == learntOn)
        m_queuesTakingAnyName.remember(queue, learntOn, *takes);
    return Reply::Done;
}

Reply ServerJobs::queueShowsJobsOnlyToProvenUsers(const std::string& queue, int job, bool* onlyProven, std::string* error)
{
    if (const bool* known = m_queuesShowingJobsToProvenUsers.find(queue, connectionNumber())) {
        *onlyProven = *known;
        return Reply::Done;
    }
    if (!m_connection && connect(error) != Reply::Done)
        return Reply::Lost;
    unsigned learntOn = connectionNumber();
    *onlyProven = true;
    for (bool ofTheJob : { false, true }) {
        ipp_t* probe = ofTheJob ? newJobShownProbe(queue, job) : newJobsShownProbe(queue);
        ipp_t* response = nullptr;
        ipp_status_t status;
        Reply reply = send(probe, &response, error, &status, CupsConnection::Credentials::Anonymous, "/printers/" + queue);
        ippDelete(response);
        if (reply == Reply::Lost)
            return reply;
        *onlyProven = *onlyProven && leavesCodesPrivate(status);
    }
    if (connectionNumber() == learntOn)
        m_queuesShowingJobsToProvenUsers.remember(queue, learntOn, *onlyProven);
    return Reply::Done;
}

Reply ServerJobs::letsInAnonymous(const std::string& queue, ipp_op_t operation, bool* letsIn, std::string* error)
{
    // CUPS answers a Print-Job without a document before it checks who asks.
    int document = -1;
    if (operation == IPP_OP_PRINT_JOB) {
        document = memfd_create("accounting-agent-probe", MFD_CLOEXEC);
        if (document < 0 || write(document, "\n", 1) != 1) {
            if (document >= 0)
                close(document);
            *letsIn = true;
            *error = std::string("cannot make the document of a probe: ") + strerror(errno);
            return Reply::Refused;
        }
    }
    ipp_t* request = newQueueRequest(operation, queue);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "accounting-agent: is a name proved?");
    if (operation == IPP_OP_PRINT_URI)
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "document-uri", nullptr, "file:///dev/null");
    // No copies at all: a value that no server takes, and that CUPS looks at only after it has
    // checked who asks.
    ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", 0);
    ipp_t* response = nullptr;
    ipp_status_t status;
    Reply reply = send(request, &response, error, &status, CupsConnection::Credentials::Anonymous, "/printers/" + queue, document);
    if (document >= 0)
        close(document);
    // A server that made a job of it all the same loses it at once.
    ipp_attribute_t* made = response ? ippFindAttribute(response, "job-id", IPP_TAG_INTEGER) : nullptr;
    int job = made ? ippGetInteger(made, 0) : 0;
    ippDelete(response);
    if (job > 0) {
        std::string ignored;
        ipp_t* cancelled = nullptr;
        send(newJobRequest(IPP_OP_CANCEL_JOB, job), &cancelled, &ignored);
        ippDelete(cancelled);
    }
    // Anything but a demand for credentials, or a refusal of the user, may let a job in without them.
    *letsIn = status != IPP_STATUS_ERROR_NOT_AUTHENTICATED && status != IPP_STATUS_ERROR_FORBIDDEN && status != IPP_STATUS_ERROR_NOT_AUTHORIZED;
    return reply;
}

Reply ServerJobs::release(int job, const std::vector<StandIn::TicketItem>& items, std::string* error)
{
    JobOptions options(items);
    ipp_t* request = newJobRequest(IPP_OP_SET_JOB_ATTRIBUTES, job);
    cupsEncodeOptions2(request, options.count(), options.options(), IPP_TAG_JOB);
    ipp_t* response = nullptr;
    Reply reply = send(request, &response, error);
    ippDelete(response);
    if (reply != Reply::Done)
        *error = QueueSettings(items).withoutCodes(*error);
    return reply;
}

Reply ServerJobs::releaseWithCodes(int job, const std::vector<CodeSetting>& settings, std::string* error)
{
    std::vector<StandIn::TicketItem> options;
    for (const CodeSetting& setting : settings) {
        if (setting.name != "job-password")
            options.push_back({ setting.name, "", true, 0, setting.value, false });
    }
    JobOptions encoded(options);
    ipp_t* request = newJobRequest(IPP_OP_SET_JOB_ATTRIBUTES, job);
    cupsEncodeOptions2(request, encoded.count(), encoded.options(), IPP_TAG_JOB);
    for (const CodeSetting& setting : settings) {
        if (setting.name == "job-password")
            ippAddOctetString(request, IPP_TAG_JOB, "job-password", setting.value.data(), static_cast<int>(setting.value.size()));
    }
    ipp_t* response = nullptr;
    Reply reply = send(request, &response, error);
    ippDelete(response);
    return reply;
}

Reply ServerJobs::cancel(int job, std::string* error)
{
    ipp_t* response = nullptr;
    Reply reply = send(newJobRequest(IPP_OP_CANCEL_JOB, job), &response, error);
    ippDelete(response);
    return reply;
}

Reply ServerJobs::subscribe(Delivery delivery, std::chrono::seconds lease, int* subscription, std::string* error)
{
    static const char* const events[] = { "job-created", "job-state-changed" };
    ipp_t* request = newRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
    if (delivery == Delivery::Pull)
        ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
    else
        ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_URI, "notify-recipient-uri", nullptr, "dbus://");
    ippAddStrings(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", std::size(events), nullptr, events);
    ippAddInteger(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", static_cast<int>(lease.count()));
    ipp_t* response = nullptr;
    Reply reply = send(request, &response, error);
    ipp_attribute_t* id = reply == Reply::Done ? ippFindAttribute(response, "notify-subscription-id", IPP_TAG_INTEGER) : nullptr;
    *subscription = id ? ippGetInteger(id, 0) : 0;
    if (reply == Reply::Done && !id) {
        *error = m_serverName + " answered without a subscription";
        reply = Reply::Refused;
    }
    ippDelete(response);
    return reply;
}

Reply ServerJobs::renew(int subscription, std::chrono::seconds lease, std::string* error)
{
    ipp_t* request = newRequest(IPP_OP_RENEW_SUBSCRIPTION);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", subscription);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-lease-duration", static_cast<int>(lease.count()));
    ipp_t* response = nullptr;
    Reply reply = send(request, &response, error);
    ippDelete(response);
    return reply;
}

Reply ServerJobs::unsubscribe(int subscription, std::string* error)
{
    ipp_t* request = newRequest(IPP_OP_CANCEL_SUBSCRIPTION);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", subscription);
    ipp_t* response = nullptr;
    Reply reply = send(request, &response, error);
    ippDelete(response);
    return reply;
}

Reply ServerJobs::notifications(int subscription, int sequence, Notifications* news, bool* gone, std::string* error)
{
    ipp_t* request = newRequest(IPP_OP_GET_NOTIFICATIONS);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", subscription);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", sequence);
    ipp_t* response = nullptr;
    ipp_status_t status;
    Reply reply = send(request, &response, error, &status);
    *gone = reply == Reply::Refused && status == IPP_STATUS_ERROR_NOT_FOUND;
    *news = Notifications { false, {}, {}, sequence, news->askAgainIn };
    // Each event is a group of its own: its job, and what the server said of it.
    int job = 0;
    std::string text;
    auto eventDone = [&] {
        if (job > 0 && text.find("account") != std::string::npos)
            news->accountRefusals[job] = text;
        job = 0;
        text.clear();
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute && reply == Reply::Done; attribute = ippNextAttribute(response)) {
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
            text = stringValue(attribute);
        else if (key == "job-state" && ippGetInteger(attribute, 0) == IPP_JSTATE_HELD)
            news->heldJobSeen = true;
    }
    eventDone();
    ippDelete(response);
    return reply;
}
