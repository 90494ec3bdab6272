// Whether a server shows a queue's jobs only to those who prove who they are. Asked as anyone
// may ask, in the user's name and without credentials: a server that asks who is asking before it
// shows jobs refuses such a request; one that answers it believes the name, and would show the
// codes of the user's jobs to anyone who gives it (cupsd shows a job's private values to its
// owner). Both requests that show a job's attributes are asked: Get-Jobs of the queue, and
// Get-Job-Attributes of a job on it, when one is known (cupsd looks a job up before it asks who
// is asking, so a job is needed for that one). The policy is the queue's, and may change when
// the server starts again: an answer holds for one queue on one connection.
#pragma once

#include "queues/cups/IppMessage.h"

#include <string>

// Get-Jobs of queue in the user's name, asking for nothing but the jobs' numbers.
IppMessage newJobsShownProbe(const std::string& queue);
// Get-Job-Attributes of job on queue in the user's name.
IppMessage newJobShownProbe(const std::string& queue, int job);
// Whether the status of a probe's answer leaves the codes private: the server asks who is asking,
// or has no such queue or job (cupsd looks them up first), where no code can go either.
bool leavesCodesPrivate(ipp_status_t status);
