// The parts every IPP request of the programs starts with, built once.
#pragma once

#include "program/ProgramsExport.h"

#include <cups/cups.h>

#include <string>

// The queue's URI as the server's own requests name it (ipp://localhost/printers/QUEUE).
PROGRAMS_EXPORT std::string printerURI(const std::string& queue);
// A request of operation on queue, in the user's name, as lp sends it.
PROGRAMS_EXPORT ipp_t* newQueueRequest(ipp_op_t operation, const std::string& queue);
