#include "queues/cups/QueuePolicies.h"

#include "queues/cups/CupsRequests.h"
#include "queues/cups/JobPrivacy.h"
#include "queues/cups/ServerAnswer.h"

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

IppMessage newPrinterAttributesRequest(const std::string& queue, const char* attribute)
{
    IppMessage request = newQueueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, queue);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, attribute);
    return request;
}

ipp_op_t ippOperation(JobCreation operation)
{
    switch (operation) {
    case JobCreation::PrintJob: return IPP_OP_PRINT_JOB;
    case JobCreation::CreateJob: return IPP_OP_CREATE_JOB;
    case JobCreation::PrintURI: return IPP_OP_PRINT_URI;
    }
    return IPP_OP_CREATE_JOB;
}

Reply probeJobsShown(CupsConnection& connection, const std::string& queue, IppMessage probe, bool* leavesPrivate, std::string* error)
{
    ServerAnswer answer = askServer(connection, std::move(probe), error, "/printers/" + queue, CupsConnection::Credentials::Anonymous);
    *leavesPrivate = leavesCodesPrivate(answer.status);
    return answer.reply;
}

}

Reply queueHoldsNewJobs(CupsConnection& connection, const std::string& queue, bool* holds, std::string* error)
{
    ServerAnswer answer = askServer(connection, newPrinterAttributesRequest(queue, "job-hold-until-default"), error);
    ipp_attribute_t* hold = answer.reply == Reply::Done ? ippFindAttribute(answer.message.get(), "job-hold-until-default", IPP_TAG_ZERO) : nullptr;
    *holds = textValue(hold) == "indefinite";
    return answer.reply;
}

Reply queueHasPrintURI(CupsConnection& connection, const std::string& queue, bool* has, std::string* error)
{
    ServerAnswer answer = askServer(connection, newPrinterAttributesRequest(queue, "operations-supported"), error);
    ipp_attribute_t* operations
        = answer.reply == Reply::Done ? ippFindAttribute(answer.message.get(), "operations-supported", IPP_TAG_ENUM) : nullptr;
    *has = operations && ippContainsInteger(operations, IPP_OP_PRINT_URI);
    return answer.reply;
}

Reply probeAnonymousJob(CupsConnection& connection, const std::string& queue, JobCreation operation, bool* letsIn, int* made, std::string* error)
{
    *made = 0;
    // CUPS answers a Print-Job without a document before it checks who asks.
    int document = -1;
    if (operation == JobCreation::PrintJob) {
        document = memfd_create("accounting-agent-probe", MFD_CLOEXEC);
        if (document < 0 || write(document, "\n", 1) != 1) {
            if (document >= 0)
                close(document);
            *letsIn = true;
            *error = std::string("cannot make the document of a probe: ") + strerror(errno);
            return Reply::Refused;
        }
    }
    IppMessage request = newQueueRequest(ippOperation(operation), queue);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "accounting-agent: is a name proved?");
    if (operation == JobCreation::PrintURI)
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "document-uri", nullptr, "file:///dev/null");
    // No copies at all: a value that no server takes, and that CUPS looks at only after it has
    // checked who asks.
    ippAddInteger(request.get(), IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", 0);
    ServerAnswer answer = askServer(connection, std::move(request), error, "/printers/" + queue, CupsConnection::Credentials::Anonymous, document);
    if (document >= 0)
        close(document);
    ipp_attribute_t* job = answer.message ? ippFindAttribute(answer.message.get(), "job-id", IPP_TAG_INTEGER) : nullptr;
    *made = job ? ippGetInteger(job, 0) : 0;
    // Anything but a demand for credentials, or a refusal of the user, may let a job in without them.
    *letsIn = answer.status != IPP_STATUS_ERROR_NOT_AUTHENTICATED && answer.status != IPP_STATUS_ERROR_FORBIDDEN
        && answer.status != IPP_STATUS_ERROR_NOT_AUTHORIZED;
    return answer.reply;
}

Reply probeQueueJobsShown(CupsConnection& connection, const std::string& queue, bool* leavesPrivate, std::string* error)
{
    return probeJobsShown(connection, queue, newJobsShownProbe(queue), leavesPrivate, error);
}

Reply probeJobShown(CupsConnection& connection, const std::string& queue, int job, bool* leavesPrivate, std::string* error)
{
    return probeJobsShown(connection, queue, newJobShownProbe(queue, job), leavesPrivate, error);
}
