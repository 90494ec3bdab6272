// The parts every IPP request of the programs starts with, built once.
#pragma once

#include "queues/cups/IppMessage.h"

#include <string>

// The queue's URI as the server's own requests name it (ipp://localhost/printers/QUEUE).
std::string printerURI(const std::string& queue);
// A request of operation on queue, in the user's name, as lp sends it.
IppMessage newQueueRequest(ipp_op_t operation, const std::string& queue);
// A request of operation on the server as a whole (ipp://localhost/), in the user's name.
IppMessage newServerRequest(ipp_op_t operation);
// A request of operation on job (ipp://localhost/jobs/JOB), in the user's name.
IppMessage newJobRequest(ipp_op_t operation, int job);

// Whether a cancelled job's history stays on the server, or goes with everything it held.
enum class JobHistory {
    Kept,
    Purged,
};

// Cancel-Job of job, in the user's name.
IppMessage newCancelJob(int job, JobHistory history);
