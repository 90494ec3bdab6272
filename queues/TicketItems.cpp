#include "queues/TicketItems.h"

#include <CoreFoundation/CFStandIn.h>
#include <PrintCore/PrintCore.h>

bool putTicketItem(PMTicketRef ticket, const StandIn::TicketItem& item)
{
    if (item.isString && item.string.find('\0') != std::string::npos)
        return false;
    CFStringRef key = StandIn::createString(item.key);
    CFStringRef client = StandIn::createString(item.client);
    OSStatus status = kPMInvalidValue;
    if (key && client)
        status = item.isString ? PMTicketSetCString(ticket, client, key, item.string.c_str(), item.locked)
                               : PMTicketSetSInt32(ticket, client, key, item.integer, item.locked);
    if (key)
        CFRelease(key);
    if (client)
        CFRelease(client);
    return status == noErr;
}
