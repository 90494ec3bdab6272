#include <PrintCore/PMTicketPrivate.h>

#include <Base/Unicode.h>
#include <CoreFoundation/CFStringPrivate.h>
#include <PrintCore/PMTicketStandIn.h>

#include <algorithm>

#include <unordered_map>

namespace {

// Handles are never reused, so a stale reference can never reach another ticket.
UInt32 gNextHandle = 0x1000;
std::unordered_map<UInt32, __PMTicket*> gTickets;

UInt32 handleOf(PMTicketRef ticket)
{
    return static_cast<UInt32>(reinterpret_cast<uintptr_t>(ticket));
}

bool isTopLevel(UInt32 nodeIndex1, UInt32 nodeIndex2)
{
    return nodeIndex1 == kPMTopLevel && nodeIndex2 == kPMTopLevel;
}

OSStatus lookUp(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key, StandIn::TicketItem** item)
{
    auto* object = _PMTicketFromRef(ticket);
    if (!object)
        return kPMInvalidTicket;
    if (CFGetTypeID(key) != CFStringGetTypeID())
        return kPMInvalidKey;
    std::string name = StandIn::toUTF8(key);
    object->record("get", name);
    *item = isTopLevel(nodeIndex1, nodeIndex2) ? object->find(name) : nullptr;
    return *item ? OSStatus(noErr) : OSStatus(kPMKeyNotFound);
}

OSStatus store(PMTicketRef ticket, CFStringRef clientID, CFStringRef key, StandIn::TicketItem value)
{
    auto* object = _PMTicketFromRef(ticket);
    if (!object)
        return kPMInvalidTicket;
    if (CFGetTypeID(key) != CFStringGetTypeID() || CFStringGetLength(key) == 0)
        return kPMInvalidKey;
    value.key = StandIn::toUTF8(key);
    value.client = StandIn::toUTF8(clientID);
    object->record("set", value.key);
    StandIn::TicketItem* existing = object->find(value.key);
    if (existing && existing->locked)
        return kPMItemIsLocked;
    object->put(std::move(value));
    return noErr;
}

}

__PMTicket::__PMTicket(std::string type)
    : __CFRuntimeBase(classTypeID())
    , handle(gNextHandle++)
    , ticketType(std::move(type))
{
    gTickets.emplace(handle, this);
}

__PMTicket::~__PMTicket()
{
    gTickets.erase(handle);
}

CFTypeID __PMTicket::classTypeID()
{
    static const CFTypeID typeID = _CFRuntimeRegisterClass("PMTicket");
    return typeID;
}

StandIn::TicketItem* __PMTicket::find(const std::string& key)
{
    auto found = positions.find(key);
    return found == positions.end() ? nullptr : &items[found->second];
}

void __PMTicket::put(StandIn::TicketItem item)
{
    auto [position, added] = positions.try_emplace(item.key, items.size());
    if (added)
        items.push_back(std::move(item));
    else
        items[position->second] = std::move(item);
}

void __PMTicket::record(const char* access, const std::string& key)
{
    if (accessLog)
        accessLog->push_back(std::string(access) + " " + key);
}

__PMTicket* _PMTicketFromRef(PMTicketRef ticket)
{
    auto found = gTickets.find(handleOf(ticket));
    if (found == gTickets.end() || reinterpret_cast<uintptr_t>(ticket) != found->first)
        return nullptr;
    return found->second;
}

OSStatus PMTicketCreate(CFAllocatorRef, CFStringRef ticketType, PMTicketRef* newTicket)
{
    if (!newTicket)
        return paramErr;
    if (gNextHandle > static_cast<UInt32>(INT32_MAX))
        return kPMInvalidTicket;
    auto* ticket = new __PMTicket(StandIn::toUTF8(ticketType));
    *newTicket = reinterpret_cast<PMTicketRef>(static_cast<uintptr_t>(ticket->handle));
    return noErr;
}

OSStatus PMTicketGetSInt32(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key, SInt32* value)
{
    if (!value)
        return paramErr;
    StandIn::TicketItem* item = nullptr;
    if (OSStatus status = lookUp(ticket, nodeIndex1, nodeIndex2, key, &item))
        return status;
    if (item->isString)
        return kPMInvalidValue;
    *value = item->integer;
    return noErr;
}

OSStatus PMTicketSetSInt32(PMTicketRef ticket, CFStringRef clientID, CFStringRef key, SInt32 value, Boolean locked)
{
    StandIn::TicketItem item;
    item.integer = value;
    item.locked = locked;
    return store(ticket, clientID, key, std::move(item));
}

OSStatus PMTicketGetCString(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key, UInt32 bufferSize,
    CFStringEncoding encoding, char* value)
{
    if (!value || bufferSize == 0)
        return paramErr;
    bool byteEncoding = encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingASCII
        || encoding == kCFStringEncodingISOLatin1;
    if (!byteEncoding)
        return kPMInvalidValue;
    StandIn::TicketItem* item = nullptr;
    if (OSStatus status = lookUp(ticket, nodeIndex1, nodeIndex2, key, &item))
        return status;
    if (!item->isString)
        return kPMInvalidValue;
    auto units = _CFDecode(item->string, kCFStringEncodingUTF8);
    auto bytes = units ? _CFEncode(*units, encoding) : std::nullopt;
    if (!bytes)
        return kPMInvalidValue;
    // ASCII and ISO Latin-1 have a character a byte; only UTF-8 can be cut inside one.
    size_t limit = static_cast<size_t>(bufferSize - 1);
    size_t length = encoding == kCFStringEncodingUTF8 ? StandIn::UTF8::cutLength(*bytes, limit) : std::min(bytes->size(), limit);
    bytes->copy(value, length);
    value[length] = '\0';
    return noErr;
}

OSStatus PMTicketSetCString(PMTicketRef ticket, CFStringRef clientID, CFStringRef key, const char* value, Boolean locked)
{
    if (!value)
        return paramErr;
    if (!_CFDecode(value, kCFStringEncodingUTF8))
        return kPMInvalidValue;
    StandIn::TicketItem item;
    item.isString = true;
    item.string = value;
    item.locked = locked;
    return store(ticket, clientID, key, std::move(item));
}

OSStatus PMTicketGetLockedState(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key, Boolean* lockedState)
{
    if (!lockedState)
        return paramErr;
    StandIn::TicketItem* item = nullptr;
    if (OSStatus status = lookUp(ticket, nodeIndex1, nodeIndex2, key, &item))
        return status;
    *lockedState = item->locked;
    return noErr;
}

std::vector<StandIn::TicketItem> StandIn::ticketItems(PMTicketRef ticket)
{
    auto* object = _PMTicketFromRef(ticket);
    return object ? object->items : std::vector<StandIn::TicketItem>();
}

void StandIn::setTicketAccessLog(PMTicketRef ticket, std::vector<std::string>* log)
{
    if (auto* object = _PMTicketFromRef(ticket))
        object->accessLog = log;
}
