// The pane's settings (QueueSettings.h) as a CUPS job's options, the one rule for every program
// that sends them:
// every ticket entry as a job option, except the two codes when accounting is off (nothing then
// needs them, and a job option lands on the driver's command line and in the server's records),
// and except the stored entries of a printer's own codes, which go as its driver expects them;
// with accounting on, the User ID and the Account ID also as the job's accounting attributes,
// each only when it is not empty; and job-hold-until no-hold, since a job with these options has
// its codes already, and a queue that holds new jobs for accounting must let it print.
#pragma once

#include "program/ProgramsExport.h"

#include <PrintCore/PMTicketStandIn.h>

#include <cups/cups.h>

#include <string>
#include <vector>

class PROGRAMS_EXPORT JobOptions {
public:
    explicit JobOptions(const std::vector<StandIn::TicketItem>& items);
    ~JobOptions();
    JobOptions(const JobOptions&) = delete;
    JobOptions& operator=(const JobOptions&) = delete;

    int count() const { return m_count; }
    cups_option_t* options() const { return m_options; }

private:
    void add(const char* name, const std::string& value);

    int m_count { 0 };
    cups_option_t* m_options { nullptr };
};
