#include "SettingsFileValues.h"

#include <PrintCore/PMTicketStandIn.h>
#include <PrintCore/PrintCore.h>

std::map<std::string, std::string> settingsFileValues(const std::string& path)
{
    PMTicketRef ticket = nullptr;
    PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &ticket);
    std::map<std::string, std::string> values;
    if (StandIn::readSettingsFile(ticket, path, nullptr) == noErr) {
        for (const auto& item : StandIn::ticketItems(ticket))
            values[item.key] = item.isString ? item.string : std::to_string(item.integer);
    }
    PMRelease(ticket);
    return values;
}
