#include "queues/cups/JobPrivacy.h"

#include "queues/cups/CupsRequests.h"

ipp_t* newJobsShownProbe(const std::string& queue)
{
    ipp_t* request = newQueueRequest(IPP_OP_GET_JOBS, queue);
    ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-id");
    return request;
}

ipp_t* newJobShownProbe(const std::string& queue, int job)
{
    ipp_t* request = newQueueRequest(IPP_OP_GET_JOB_ATTRIBUTES, queue);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-id");
    return request;
}

bool leavesCodesPrivate(ipp_status_t status)
{
    return status == IPP_STATUS_ERROR_NOT_AUTHENTICATED || status == IPP_STATUS_ERROR_FORBIDDEN || status == IPP_STATUS_ERROR_NOT_AUTHORIZED
        || status == IPP_STATUS_ERROR_NOT_FOUND;
}
