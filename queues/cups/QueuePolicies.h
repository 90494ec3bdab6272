// What a queue's settings and the server's policy say, asked of the server, each request in the
// user's name as lp sends it: whether the queue holds new jobs, and the probes that tell whether
// it takes jobs, and shows them, to anyone who merely gives the user's name.
#pragma once

#include "queues/cups/ServerReply.h"
#include "program/ProgramsExport.h"

#include <string>

class CupsConnection;

// Whether the queue holds every new job until someone releases it
// (job-hold-until-default=indefinite), as a queue set up for accounting does.
PROGRAMS_EXPORT Reply queueHoldsNewJobs(CupsConnection& connection, const std::string& queue, bool* holds, std::string* error);

// The operations that make a job.
enum class JobCreation {
    PrintJob,
    CreateJob,
    PrintURI,
};

// Whether the queue has Print-URI (its operations-supported; CUPS has not).
PROGRAMS_EXPORT Reply queueHasPrintURI(CupsConnection& connection, const std::string& queue, bool* has, std::string* error);
// The operation sent to the queue as lp sends it, in the user's name and without credentials,
// with a value the server refuses once it has let the request in: a server that checks who asks
// refuses it for want of credentials, one that does not refuses the value, and neither makes a
// job. *letsIn: whether the server may let in a request that offers no credentials. *made: the
// job a server made of it all the same, which the caller cancels at once; 0 for none.
PROGRAMS_EXPORT Reply probeAnonymousJob(CupsConnection& connection, const std::string& queue, JobCreation operation, bool* letsIn, int* made,
    std::string* error);
// Get-Jobs of the queue, and Get-Job-Attributes of job on it, asked as anyone may ask
// (JobPrivacy.h): *leavesPrivate, whether the answer leaves the codes of the user's jobs private.
PROGRAMS_EXPORT Reply probeQueueJobsShown(CupsConnection& connection, const std::string& queue, bool* leavesPrivate, std::string* error);
PROGRAMS_EXPORT Reply probeJobShown(CupsConnection& connection, const std::string& queue, int job, bool* leavesPrivate, std::string* error);
