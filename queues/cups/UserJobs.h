// The user's own jobs on the server, each request in the user's name as lp sends it: the jobs
// that are not completed (Get-Jobs), and what becomes of a held one (Set-Job-Attributes that
// releases it, Cancel-Job).
#pragma once

#include "queues/CodeValues.h"
#include "queues/cups/ServerReply.h"
#include "program/ProgramsExport.h"

#include <PrintCore/PMTicketStandIn.h>

#include <ctime>
#include <string>
#include <vector>

class CupsConnection;

// A job of the user's as the server lists it.
struct ServerJob {
    int id { 0 };
    std::string queue;
    std::string name; // job-name: for a document printed from a program, the document's
    bool heldIndefinitely { false }; // pending-held until someone releases it
    // Held by the server after the printer refused the account it carried: pending-held, with
    // job-hold-until no-hold, processed already (no queue's or person's hold looks so).
    bool refusedByPrinter { false };
    time_t processedAt { 0 }; // time-at-processing: each attempt at the printer has its own
    bool documentArrived { false }; // a job created without its document is not ready
    bool carriesAccounting { false }; // it has a job-accounting-user-id already
    // Where it came from, for the person to recognise a print of their own.
    std::string originHost; // job-originating-host-name
    time_t createdAt { 0 }; // time-at-creation
};

// The user's jobs that are not completed, each once.
PROGRAMS_EXPORT Reply listUsersJobs(CupsConnection& connection, std::vector<ServerJob>* jobs, std::string* error);
// Sets every option on the held job and releases it, in one request.
PROGRAMS_EXPORT Reply releaseJob(CupsConnection& connection, int job, const std::vector<StandIn::TicketItem>& items, std::string* error);
// Sets what the job carries for its printer's codes (CodeValues.h) and releases it, in one
// request: job options as lp sets them, and job attributes of the job's own, job-password among
// them as the octet string that the server hands on to the printer (given as an option on a held
// job, cupsd drops it).
PROGRAMS_EXPORT Reply releaseJobWithCodes(CupsConnection& connection, int job, const std::vector<CodeSetting>& settings, std::string* error);
PROGRAMS_EXPORT Reply cancelJob(CupsConnection& connection, int job, std::string* error);
