#include "queues/CupsPrinter.h"

#include "queues/CupsModule.h"
#include "program/ProgramFolder.h"

namespace {

const CupsModule* cupsModule(std::string* error)
{
    // Loaded once and kept: libcups keeps state of its own for the process.
    static const CupsModule* module = nullptr;
    if (!module)
        module = loadProductModule<CupsModule>(ACCOUNTING_CUPS_MODULE, kCupsModuleEntryPoint, "the CUPS module", error);
    return module;
}

}

bool fetchQueuePPD(const CupsDestination& destination, StandIn::FileDescriptor* ppd, std::string* error)
{
    const CupsModule* module = cupsModule(error);
    return module && module->fetchQueuePPD(destination, ppd, error);
}

std::string queuePPDPath(const StandIn::FileDescriptor& ppd)
{
    return "/proc/self/fd/" + std::to_string(ppd.get());
}

bool proveTheUserTo(const CupsDestination& destination, std::string* error)
{
    const CupsModule* module = cupsModule(error);
    return module && module->proveTheUser(destination, error);
}

bool fetchDefaultQueue(const CupsDestination& server, std::string* queue, std::string* error)
{
    const CupsModule* module = cupsModule(error);
    return module && module->fetchDefaultQueue(server, queue, error);
}

bool fetchQueueNames(const CupsDestination& server, std::vector<std::string>* queues, std::string* error)
{
    const CupsModule* module = cupsModule(error);
    return module && module->fetchQueueNames(server, queues, error);
}

bool fetchPrinterCodeAttributes(const CupsDestination& destination, PrinterCodeAttributes* attributes, std::string* error)
{
    const CupsModule* module = cupsModule(error);
    return module && module->fetchPrinterCodeAttributes(destination, attributes, error);
}

std::string cupsServerName(const std::string& server)
{
    std::string error;
    const CupsModule* module = cupsModule(&error);
    return module ? module->serverName(server) : "the CUPS server " + server;
}

std::string cupsServerKey(const std::string& server)
{
    std::string error;
    const CupsModule* module = cupsModule(&error);
    return module ? module->serverKey(server) : server;
}

int submitJob(const CupsDestination& destination, int document, const std::string& title, const std::vector<StandIn::TicketItem>& items,
    bool carriesCodes, std::string* error)
{
    const CupsModule* module = cupsModule(error);
    return module ? module->submitJob(destination, document, title, items, carriesCodes, error) : 0;
}
