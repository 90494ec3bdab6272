// Moving the accounting settings between the print-settings ticket and the pane.
#pragma once

#include "Accounting/AccountingContext.h"

// syncDirection false: from the context (and the default-code fields) to the ticket.
// syncDirection true: from the ticket to the context and the pane's controls.
OSStatus Sync(PMPDEContext context, PMPrintSession printSession, Boolean syncDirection);

// Stores the 32-bit reference of the session's ticket under key ticket into *container.
OSStatus GetTicketFromSession(PMPrintSession printSession, CFStringRef ticket, void* container);
