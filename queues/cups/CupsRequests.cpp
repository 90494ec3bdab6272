#include "queues/cups/CupsRequests.h"

#include <cups/cups.h>

namespace {

IppMessage newUsersRequest(ipp_op_t operation, const char* target, const std::string& uri)
{
    IppMessage request = newIppRequest(operation);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, target, nullptr, uri.c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

}

std::string printerURI(const std::string& queue)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s", queue.c_str());
    return uri;
}

IppMessage newQueueRequest(ipp_op_t operation, const std::string& queue)
{
    return newUsersRequest(operation, "printer-uri", printerURI(queue));
}

IppMessage newServerRequest(ipp_op_t operation)
{
    return newUsersRequest(operation, "printer-uri", "ipp://localhost/");
}

IppMessage newJobRequest(ipp_op_t operation, int job)
{
    return newUsersRequest(operation, "job-uri", "ipp://localhost/jobs/" + std::to_string(job));
}

IppMessage newCancelJob(int job, JobHistory history)
{
    IppMessage request = newJobRequest(IPP_OP_CANCEL_JOB, job);
    if (history == JobHistory::Purged)
        ippAddBoolean(request.get(), IPP_TAG_OPERATION, "purge-job", 1);
    return request;
}
