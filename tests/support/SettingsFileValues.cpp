#include "tests/support/SettingsFileValues.h"

#include <cctype>
#include <climits>
#include <cstdlib>

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

std::string queueSettingsFile(const std::string& folder, const std::string& queue, const std::string& socket)
{
    std::string name;
    for (char c : queue)
        name += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    name += "@";
    char real[PATH_MAX];
    for (char c : std::string(realpath(socket.c_str(), real) ? real : socket)) {
        if (c == '/')
            name += "%2F";
        else if (c == '%')
            name += "%25";
        else if (c == '@')
            name += "%40";
        else
            name += c;
    }
    return folder + "/" + name + ".plist";
}
