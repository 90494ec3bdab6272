// The CUPS module's interface: the calls of CupsPrinter.h, which the dialog library forwards to
// the module (queues/cups/) once it has loaded it.
#pragma once

#include "queues/CupsDestination.h"
#include "queues/PrinterCodes.h"

#include <Base/RegularFile.h>
#include <PrintCore/PMTicketStandIn.h>

#include <string>
#include <vector>

struct CupsModule {
    bool (*fetchQueuePPD)(const CupsDestination& destination, StandIn::FileDescriptor* ppd, std::string* error);
    bool (*proveTheUser)(const CupsDestination& destination, std::string* error);
    bool (*fetchDefaultQueue)(const CupsDestination& server, std::string* queue, std::string* error);
    bool (*fetchQueueNames)(const CupsDestination& server, std::vector<std::string>* queues, std::string* error);
    bool (*fetchPrinterCodeAttributes)(const CupsDestination& destination, PrinterCodeAttributes* attributes, std::string* error);
    std::string (*serverName)(const std::string& server);
    std::string (*serverKey)(const std::string& server);
    int (*submitJob)(const CupsDestination& destination, int document, const std::string& title,
        const std::vector<StandIn::TicketItem>& items, bool carriesCodes, std::string* error);
};

// Exported by the module under this name.
#define kCupsModuleEntryPoint "CupsModuleEntry"
