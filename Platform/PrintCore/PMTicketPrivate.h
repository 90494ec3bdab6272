// Inside the stand-in: the ticket object behind a PMTicketRef handle.
#pragma once

#include <CoreFoundation/CFRuntime.h>
#include <PrintCore/PMTicketStandIn.h>

struct __PMTicket final : __CFRuntimeBase {
    explicit __PMTicket(std::string type);
    ~__PMTicket() override;

    static CFTypeID classTypeID();

    PMTicketItem* find(const std::string& key);
    void record(const char* access, const std::string& key);

    UInt32 handle;
    std::string ticketType;
    std::vector<PMTicketItem> items;
    std::vector<std::string>* accessLog { nullptr };
};

// The live ticket a handle names, or null.
__PMTicket* _PMTicketFromRef(PMTicketRef ticket);
