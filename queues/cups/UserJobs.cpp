#include "queues/cups/UserJobs.h"

#include "queues/cups/CupsRequests.h"
#include "queues/cups/JobOptions.h"
#include "queues/cups/ServerAnswer.h"

#include <iterator>
#include <set>
#include <string_view>

namespace {

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
            job.queue = queueOf(textValue(attribute));
        else if (key == "job-name")
            job.name = textValue(attribute);
        else if (key == "job-state")
            pendingHeld = ippGetInteger(attribute, 0) == IPP_JSTATE_HELD;
        else if (key == "job-hold-until")
            holdUntil = textValue(attribute);
        else if (key == "time-at-processing")
            job.processedAt = ippGetInteger(attribute, 0);
        else if (key == "number-of-documents")
            job.documentArrived = ippGetInteger(attribute, 0) > 0;
        else if (key == "job-accounting-user-id")
            job.carriesAccounting = true;
        else if (key == "job-originating-host-name")
            job.originHost = textValue(attribute);
        else if (key == "time-at-creation")
            job.createdAt = ippGetInteger(attribute, 0);
    }
    finish();
    return jobs;
}

}

Reply listUsersJobs(CupsConnection& connection, std::vector<ServerJob>* jobs, std::string* error)
{
    static const char* const attributes[] = { "job-id", "job-printer-uri", "job-name", "job-state", "job-hold-until", "number-of-documents",
        "job-accounting-user-id", "job-originating-host-name", "time-at-creation", "time-at-processing" };
    IppMessage request = newServerRequest(IPP_OP_GET_JOBS);
    ippAddBoolean(request.get(), IPP_TAG_OPERATION, "my-jobs", 1);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", std::size(attributes), nullptr, attributes);
    ServerAnswer answer = askServer(connection, std::move(request), error);
    if (answer.reply == Reply::Done)
        *jobs = jobsOf(answer.message.get());
    return answer.reply;
}

Reply releaseJob(CupsConnection& connection, int job, const std::vector<StandIn::TicketItem>& items, std::string* error)
{
    JobOptions options(items);
    IppMessage request = newJobRequest(IPP_OP_SET_JOB_ATTRIBUTES, job);
    cupsEncodeOptions2(request.get(), options.count(), options.options(), IPP_TAG_JOB);
    return askServer(connection, std::move(request), error).reply;
}

Reply releaseJobWithCodes(CupsConnection& connection, int job, const std::vector<CodeSetting>& settings, std::string* error)
{
    std::vector<StandIn::TicketItem> options;
    for (const CodeSetting& setting : settings) {
        if (setting.name != "job-password")
            options.push_back({ setting.name, "", true, 0, setting.value, false });
    }
    JobOptions encoded(options);
    IppMessage request = newJobRequest(IPP_OP_SET_JOB_ATTRIBUTES, job);
    cupsEncodeOptions2(request.get(), encoded.count(), encoded.options(), IPP_TAG_JOB);
    for (const CodeSetting& setting : settings) {
        if (setting.name == "job-password")
            ippAddOctetString(request.get(), IPP_TAG_JOB, "job-password", setting.value.data(), static_cast<int>(setting.value.size()));
    }
    return askServer(connection, std::move(request), error).reply;
}

Reply cancelJob(CupsConnection& connection, int job, std::string* error)
{
    return askServer(connection, newCancelJob(job, JobHistory::Kept), error).reply;
}
