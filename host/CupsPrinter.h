// Printing for real through a CUPS server: the queue's PPD, and the job with the pane's
// settings as its options.
#pragma once

#include <PrintCore/PMTicketStandIn.h>

#include <string>
#include <vector>

struct CupsDestination {
    std::string queue;
    std::string server; // "HOST:PORT" or a socket path; empty: the default server
};

// Copies the queue's PPD into a temporary file and gives its path; the caller removes it.
bool fetchQueuePPD(const CupsDestination& destination, std::string* path, std::string* error);

// Submits document to the queue with every ticket item as a job option, and, when accounting
// is on, the User ID and Account ID as the job's accounting attributes. The job id, or 0 with
// the reason in *error (which never holds a code).
int submitJob(const CupsDestination& destination, const std::string& document, const std::vector<PMTicketItem>& items,
    std::string* error);
