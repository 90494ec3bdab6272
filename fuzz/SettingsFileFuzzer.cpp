// Print-settings files (--settings and the script's preset) come from wherever the user points.
#include "fuzz/FuzzSupport.h"

#include <PrintCore/PMTicketStandIn.h>

namespace {

bool sameItems(const std::vector<StandIn::TicketItem>& one, const std::vector<StandIn::TicketItem>& other)
{
    if (one.size() != other.size())
        return false;
    for (size_t i = 0; i < one.size(); ++i) {
        const StandIn::TicketItem& a = one[i];
        const StandIn::TicketItem& b = other[i];
        if (a.key != b.key || a.client != b.client || a.isString != b.isString || a.integer != b.integer || a.string != b.string
            || a.locked != b.locked)
            return false;
    }
    return true;
}

PMTicketRef newTicket()
{
    PMTicketRef ticket = nullptr;
    if (PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &ticket) != noErr || !ticket)
        std::abort();
    return ticket;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz::writeInput("settings.plist", data, size);
    PMTicketRef ticket = newTicket();
    std::string error;
    if (StandIn::readSettingsFile(ticket, path, &error) == noErr) {
        // A ticket that was read is one the host saves again: the save must succeed, and read
        // back to the same items, whatever text the file held.
        std::string saved = fuzz::scratchFolder() + "/saved.plist";
        if (StandIn::writeSettingsFile(ticket, saved, &error) != noErr)
            std::abort();
        PMTicketRef again = newTicket();
        if (StandIn::readSettingsFile(again, saved, &error) != noErr || !sameItems(StandIn::ticketItems(ticket), StandIn::ticketItems(again)))
            std::abort();
        PMRelease(again);
    }
    PMRelease(ticket);
    return 0;
}
