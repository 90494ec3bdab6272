// The CUPS module: the queue's PPD, the default queue and the job, through libcups. The dialog
// library's loader (CupsPrinter.cpp) finds the calls through the module's entry point.
#include "queues/cups/CupsModuleCalls.h"

#include "queues/cups/CupsConnection.h"
#include "queues/cups/CupsRequests.h"
#include "queues/cups/JobOptions.h"
#include "queues/cups/JobPrivacy.h"

#include "queues/CodesPrivacy.h"
#include "program/ProcessGuards.h"
#include "program/WriteAll.h"
#include "queues/QueueName.h"
#include "queues/QueueSettings.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Far beyond any printer's PPD; a server that sends more is stopped there.
constexpr size_t kMaxQueuePPDBytes = 16 * 1024 * 1024;

// Create-Job, asked of the server itself: libcups's cupsCreateJob looks the queue up first and
// calls a missing one "No such file or directory".
int createJob(CupsConnection& connection, const std::string& queue, const std::string& title, const JobOptions& options, ipp_status_t* status)
{
    IppMessage request = newQueueRequest(IPP_OP_CREATE_JOB, queue);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.c_str());
    cupsEncodeOptions2(request.get(), options.count(), options.options(), IPP_TAG_OPERATION);
    cupsEncodeOptions2(request.get(), options.count(), options.options(), IPP_TAG_JOB);
    IppMessage response = connection.exchange(std::move(request), "/printers/" + queue, status);
    ipp_attribute_t* id = connection.succeeded(*status) ? ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER) : nullptr;
    return id ? ippGetInteger(id, 0) : 0;
}

// Stops as soon as the program is asked to stop, so that the job can be taken back.
bool sendDocument(CupsConnection& connection, const std::string& queue, int job, int document, const std::string& title, std::string* problem)
{
    IppMessage request = newQueueRequest(IPP_OP_SEND_DOCUMENT, queue);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr, title.c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, CUPS_FORMAT_AUTO);
    ippAddBoolean(request.get(), IPP_TAG_OPERATION, "last-document", 1);
    connection.stopOnInterruption();
    connection.startStep();
    ipp_status_t status;
    connection.exchange(std::move(request), "/printers/" + queue, &status, document);
    if (connection.succeeded(status))
        return true;
    *problem = connection.failure();
    return false;
}

// The job that could not be completed holds the codes: it goes, history and all. A connection of
// its own, since the one that failed may be in any state.
bool purgeJob(const CupsDestination& destination, int job, std::string* problem)
{
    CupsConnection connection;
    if (!connection.open(destination, problem))
        return false;
    connection.startStep();
    ipp_status_t status;
    connection.exchange(newCancelJob(job, JobHistory::Purged), "/printers/" + destination.queue, &status);
    if (connection.succeeded(status))
        return true;
    *problem = connection.failure();
    return false;
}

// Whether the server shows the queue's jobs only to those who prove who they are, so that the
// codes of the person's job are read by nobody who merely gives the person's name; *problem says
// why not, for the person and the administrator.
bool codesStayPrivate(CupsConnection& connection, const std::string& queue, std::string* problem)
{
    ipp_status_t status;
    bool answered = connection.exchange(newJobsShownProbe(queue), "/printers/" + queue, &status, -1, CupsConnection::Credentials::Anonymous) != nullptr;
    if (leavesCodesPrivate(status))
        return true;
    *problem = answered ? codesWouldBeShownAdvice(connection.server()) : connection.failure();
    return false;
}

// The job a Create-Job whose answer was lost may have made: the user's newest job on the queue
// that is not done, titled so, without a document, made since the request (by the server's own
// clock: its "now" beside each job, less the time since the request here). 0 when there is
// none; -1, *problem saying why, when the server's jobs cannot be listed.
int jobMadeSince(const CupsDestination& destination, const std::string& title, Clock::time_point asked, std::string* problem)
{
    CupsConnection connection;
    if (!connection.open(destination, problem))
        return -1;
    static const char* const requested[] = { "job-id", "job-name", "number-of-documents", "time-at-creation", "job-printer-up-time" };
    IppMessage request = newQueueRequest(IPP_OP_GET_JOBS, destination.queue);
    ippAddBoolean(request.get(), IPP_TAG_OPERATION, "my-jobs", 1);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", std::size(requested), nullptr, requested);
    connection.startStep();
    ipp_status_t status;
    IppMessage answer = connection.exchange(std::move(request), "/", &status);
    // A queue without jobs answers "not found".
    if (!connection.succeeded(status) && !(answer && status == IPP_STATUS_ERROR_NOT_FOUND)) {
        *problem = connection.failure();
        return -1;
    }
    ipp_t* response = answer.get();
    auto since = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - asked).count();
    int found = 0;
    int id = 0;
    int documents = 0;
    long long created = 0;
    long long now = time(nullptr);
    std::string name;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response);; attribute = ippNextAttribute(response)) {
        const char* attributeName = attribute ? ippGetName(attribute) : nullptr;
        if (!attributeName) {
            // A second of either clock's rounding.
            if (id > found && name == title && documents == 0 && created >= now - since - 1)
                found = id;
            id = documents = 0;
            name.clear();
            if (!attribute)
                break;
            continue;
        }
        std::string_view which = attributeName;
        if (which == "job-id")
            id = ippGetInteger(attribute, 0);
        else if (which == "job-name")
            name = ippGetString(attribute, 0, nullptr) ? ippGetString(attribute, 0, nullptr) : "";
        else if (which == "number-of-documents")
            documents = ippGetInteger(attribute, 0);
        else if (which == "time-at-creation")
            created = ippGetInteger(attribute, 0);
        else if (which == "job-printer-up-time")
            now = ippGetInteger(attribute, 0);
    }
    return found;
}

// Create-Job's answer was lost: a job it made holds the codes, and goes.
std::string withoutLostJob(const CupsDestination& destination, const std::string& title, Clock::time_point asked, const std::string& lost,
    const QueueSettings& settings)
{
    const std::string& queue = destination.queue;
    std::string said = queue + ": the server's answer to the new job was lost (" + settings.withoutCodes(lost) + ")";
    std::string problem;
    int job = jobMadeSince(destination, title, asked, &problem);
    if (job < 0)
        return said + ", and its jobs could not be listed (" + settings.withoutCodes(problem) + "): a job of yours titled \"" + title
            + "\" may hold the codes; check it with lpstat -W not-completed " + queue;
    if (job == 0)
        return said + "; no job of yours it made is there";
    std::string number = std::to_string(job);
    if (purgeJob(destination, job, &problem))
        return said + "; job " + number + ", which it had made, was cancelled";
    return said + "; job " + number + ", which it made and which holds the codes, could not be cancelled (" + settings.withoutCodes(problem)
        + "): cancel it with \"cancel " + queue + "-" + number + "\"";
}

bool proveTheUser(const CupsDestination& destination, std::string* error)
{
    CupsConnection connection;
    std::string problem;
    if (connection.open(destination, &problem) && connection.proveTheUser())
        return true;
    *error = destination.queue + ": cannot print there: " + (problem.empty() ? connection.failure() : problem);
    return false;
}

bool fetchQueuePPD(const CupsDestination& destination, StandIn::FileDescriptor* ppd, std::string* error)
{
    std::string failed = destination.queue + ": cannot get the printer's PPD: ";
    CupsConnection connection;
    std::string problem;
    if (!connection.open(destination, &problem)) {
        *error = failed + problem;
        return false;
    }
    StandIn::FileDescriptor file(memfd_create("printer.ppd", MFD_CLOEXEC));
    if (!file) {
        *error = failed + "cannot hold it in memory: " + strerror(errno);
        return false;
    }
    // One deadline for the whole fetch: a server that trickles is as stuck as a silent one.
    connection.startStep();
    http_t* http = connection.http();
    // The server gives each queue's PPD at /printers/QUEUE.ppd.
    http_status_t status = connection.get("/printers/" + destination.queue + ".ppd");
    if (status != HTTP_STATUS_OK) {
        bool unanswered = status == HTTP_STATUS_ERROR || status == HTTP_STATUS_CONTINUE || status == HTTP_STATUS_UNAUTHORIZED;
        *error = failed
            + (status == HTTP_STATUS_NOT_FOUND ? "there is no such queue, or none with a PPD, at " + connection.server()
                    : unanswered               ? connection.failure()
                                               : connection.server() + " answered \"" + httpStatus(status) + "\"");
        return false;
    }
    char buffer[64 * 1024];
    size_t total = 0;
    for (;;) {
        ssize_t count = httpRead2(http, buffer, sizeof buffer);
        if (count == 0)
            break;
        if (count < 0 || connection.pastDeadline()) {
            *error = failed + connection.failure();
            return false;
        }
        total += static_cast<size_t>(count);
        if (total > kMaxQueuePPDBytes) {
            *error = failed + connection.server() + " sends more than " + std::to_string(kMaxQueuePPDBytes / (1024 * 1024)) + " MiB";
            return false;
        }
        if (!writeAll(file.get(), { buffer, static_cast<size_t>(count) })) {
            *error = failed + "cannot hold it in memory: " + strerror(errno);
            return false;
        }
    }
    *ppd = std::move(file);
    return true;
}

bool fetchDefaultQueue(const CupsDestination& server, std::string* queue, std::string* error)
{
    std::string failed = "cannot find the default queue: ";
    CupsConnection connection;
    std::string problem;
    if (!connection.open(server, &problem)) {
        *error = failed + problem;
        return false;
    }
    IppMessage request = newIppRequest(IPP_OP_CUPS_GET_DEFAULT);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
    connection.startStep();
    ipp_status_t status;
    IppMessage response = connection.exchange(std::move(request), "/", &status);
    ipp_attribute_t* name = connection.succeeded(status) ? ippFindAttribute(response.get(), "printer-name", IPP_TAG_ZERO) : nullptr;
    const char* text = name ? ippGetString(name, 0, nullptr) : nullptr;
    std::string found = text ? text : "";
    if (found.empty()) {
        *error = status == IPP_STATUS_ERROR_NOT_FOUND ? connection.server() + " has no default queue"
            : connection.succeeded(status)            ? failed + connection.server() + " answered without a queue's name"
                                                      : failed + connection.failure();
        return false;
    }
    // The name becomes a file name of the settings store: a server is not trusted with paths.
    if (std::string fault = cupsQueueNameProblem(found); !fault.empty()) {
        *error = failed + connection.server() + " names one that no queue can have (" + fault + ")";
        return false;
    }
    *queue = found;
    return true;
}

bool fetchQueueNames(const CupsDestination& server, std::vector<std::string>* queues, std::string* error)
{
    CupsConnection connection;
    std::string problem;
    if (!connection.open(server, &problem)) {
        *error = "cannot list the printers: " + problem;
        return false;
    }
    IppMessage request = newIppRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    connection.startStep();
    ipp_status_t status;
    IppMessage response = connection.exchange(std::move(request), "/", &status);
    // A server without any printer answers "not found".
    bool listed = connection.succeeded(status) || (response && status == IPP_STATUS_ERROR_NOT_FOUND);
    queues->clear();
    for (ipp_attribute_t* name = listed ? ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME) : nullptr; name;
         name = ippFindNextAttribute(response.get(), "printer-name", IPP_TAG_NAME)) {
        const char* text = ippGetString(name, 0, nullptr);
        // The names become file names of the settings store: a server is not trusted with paths.
        if (text && cupsQueueNameProblem(text).empty())
            queues->push_back(text);
    }
    if (!listed)
        *error = "cannot list the printers: " + connection.failure();
    return listed;
}

bool fetchPrinterCodeAttributes(const CupsDestination& destination, PrinterCodeAttributes* attributes, std::string* error)
{
    std::string failed = destination.queue + ": cannot get the printer's attributes: ";
    CupsConnection connection;
    std::string problem;
    if (!connection.open(destination, &problem)) {
        *error = failed + problem;
        return false;
    }
    static const char* const requested[] = { "job-account-id-supported", "job-accounting-user-id-supported", "job-password-supported",
        "job-password-encryption-supported", "job-password-repertoire-configured" };
    IppMessage request = newQueueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, destination.queue);
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", std::size(requested), nullptr, requested);
    connection.startStep();
    ipp_status_t status;
    IppMessage answer = connection.exchange(std::move(request), "/", &status);
    if (!connection.succeeded(status)) {
        bool gone = status == IPP_STATUS_ERROR_NOT_FOUND && !connection.pastDeadline();
        *error = failed + (gone ? "there is no such queue at " + connection.server() : connection.failure());
        return false;
    }
    ipp_t* response = answer.get();
    auto boolean = [response](const char* name) {
        ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_BOOLEAN);
        return attribute && ippGetBoolean(attribute, 0);
    };
    *attributes = {};
    attributes->accountID = boolean("job-account-id-supported");
    attributes->accountingUserID = boolean("job-accounting-user-id-supported");
    if (ipp_attribute_t* length = ippFindAttribute(response, "job-password-supported", IPP_TAG_INTEGER))
        attributes->passwordMaxLength = static_cast<size_t>(std::clamp(ippGetInteger(length, 0), 0, int(kMaxPrinterCodeLength)));
    if (ipp_attribute_t* encryptions = ippFindAttribute(response, "job-password-encryption-supported", IPP_TAG_KEYWORD)) {
        for (int i = 0; i < ippGetCount(encryptions); ++i) {
            if (const char* keyword = ippGetString(encryptions, i, nullptr))
                attributes->passwordEncryptions.emplace_back(keyword);
        }
    }
    ipp_attribute_t* repertoire = ippFindAttribute(response, "job-password-repertoire-configured", IPP_TAG_KEYWORD);
    if (const char* keyword = repertoire ? ippGetString(repertoire, 0, nullptr) : nullptr)
        attributes->passwordRepertoire = keyword;
    return true;
}

std::string serverName(const std::string& server)
{
    return "the CUPS server at " + CupsConnection::address(server);
}

int submitJob(const CupsDestination& destination, int document, const std::string& title, const std::vector<StandIn::TicketItem>& items,
    bool carriesCodes, std::string* error)
{
    const std::string& queue = destination.queue;
    CupsConnection connection;
    std::string problem;
    if (!connection.open(destination, &problem)) {
        *error = queue + ": the job was not sent: " + problem;
        return 0;
    }
    connection.startStep();
    if (carriesCodes && !codesStayPrivate(connection, queue, &problem)) {
        *error = queue + ": the job was not sent: " + problem;
        return 0;
    }
    JobOptions options(items);
    QueueSettings settings(items);
    connection.startStep();
    auto asked = Clock::now();
    ipp_status_t status;
    int job = createJob(connection, queue, title, options, &status);
    if (job <= 0 && connection.answerLost()) {
        *error = withoutLostJob(destination, title, asked, connection.failure(), settings);
        return 0;
    }
    if (job <= 0) {
        bool gone = status == IPP_STATUS_ERROR_NOT_FOUND && !connection.pastDeadline();
        *error = queue + ": the job was not accepted: "
            + (gone ? "there is no such queue at " + connection.server() + " any more" : settings.withoutCodes(connection.failure()));
        return 0;
    }
    // Asked to stop while the server made the job: it is taken back all the same.
    if (interruptionRequested())
        problem = "interrupted";
    else if (sendDocument(connection, queue, job, document, title, &problem))
        return job;
    std::string number = std::to_string(job);
    // The job may print: it is not taken back, and nothing says whether it was.
    if (connection.answerLost()) {
        *error = queue + ": the server took the document of job " + number + " but its answer was lost (" + settings.withoutCodes(problem)
            + "): the job may print; check it with lpstat -W all " + queue + "-" + number;
        return 0;
    }
    std::string sent = queue + ": the document could not be sent (" + settings.withoutCodes(problem) + "); ";
    if (purgeJob(destination, job, &problem))
        *error = sent + "job " + number + " was cancelled";
    else
        *error = sent + "job " + number + ", which holds the codes, could not be cancelled (" + settings.withoutCodes(problem)
            + "): cancel it with \"cancel " + queue + "-" + number + "\"";
    return 0;
}

}

const CupsModule* CupsModuleEntry()
{
    static const CupsModule module = { fetchQueuePPD, proveTheUser, fetchDefaultQueue, fetchQueueNames, fetchPrinterCodeAttributes, serverName, CupsConnection::key, submitJob };
    return &module;
}
