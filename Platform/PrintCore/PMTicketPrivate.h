// Inside the stand-in: the ticket object behind a PMTicketRef handle.
#pragma once

#include <CoreFoundation/CFRuntime.h>
#include <PrintCore/PMTicketStandIn.h>

#include <unordered_map>

struct __PMTicket final : __CFRuntimeBase {
    explicit __PMTicket(std::string type);
    ~__PMTicket() override;

    static CFTypeID classTypeID();

    StandIn::TicketItem* find(const std::string& key);
    // Replaces the item of the same key where it stands, or adds it at the end.
    void put(StandIn::TicketItem item);
    void record(const char* access, const std::string& key);

    UInt32 handle;
    std::string ticketType;
    // In the order first set; a ticket may be given a settings file of many thousands of items.
    std::vector<StandIn::TicketItem> items;
    std::unordered_map<std::string, size_t> positions;
    std::vector<std::string>* accessLog { nullptr };
};

// The live ticket a handle names, or null.
__PMTicket* _PMTicketFromRef(PMTicketRef ticket);
