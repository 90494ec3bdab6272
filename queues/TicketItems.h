// Putting a listed ticket item back into a ticket: what the settings store and the dialog do with
// settings they hold as items.
#pragma once

#include <PrintCore/PMTicketStandIn.h>

// Sets the item in the ticket under its client, with its lock. False for an item no ticket holds:
// a key or client that is not UTF-8, an empty key, a string with a NUL inside, which the ticket's
// C strings would cut short.
bool putTicketItem(PMTicketRef ticket, const StandIn::TicketItem& item);
