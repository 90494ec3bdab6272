// Print-settings files (--settings and the script's preset) come from wherever the user points.
#include "FuzzSupport.h"

#include <PrintCore/PMTicketStandIn.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz::writeInput("settings.plist", data, size);
    PMTicketRef ticket = nullptr;
    if (PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &ticket) != noErr || !ticket)
        return 0;
    std::string error;
    if (PMTicketReadSettingsFile(ticket, path, &error) == noErr) {
        // A ticket that was read is one the host writes back out: the items must all be listable.
        (void)PMTicketCopyItems(ticket);
    }
    PMRelease(ticket);
    return 0;
}
