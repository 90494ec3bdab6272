#include "queues/cups/JobPrivacy.h"

#include "queues/cups/CupsRequests.h"

IppMessage newJobsShownProbe(const std::string& queue)
{
    IppMessage request = newQueueRequest(IPP_OP_GET_JOBS, queue);
    ippAddBoolean(request.get(), IPP_TAG_OPERATION, "my-jobs", 1);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-id");
    return request;
}

IppMessage newJobShownProbe(const std::string& queue, int job)
{
    IppMessage request = newQueueRequest(IPP_OP_GET_JOB_ATTRIBUTES, queue);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-id");
    return request;
}

bool leavesCodesPrivate(ipp_status_t status)
{
    return status == IPP_STATUS_ERROR_NOT_AUTHENTICATED || status == IPP_STATUS_ERROR_FORBIDDEN || status == IPP_STATUS_ERROR_NOT_AUTHORIZED
        || status == IPP_STATUS_ERROR_NOT_FOUND;
}
