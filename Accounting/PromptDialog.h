// The codes of a print job, settled when Print is clicked with accounting on: from the
// default codes in the pane, or from a modal prompt.
#pragma once

#include "Accounting/AccountingContext.h"

// eventNotHandledErr when the print goes on with userID and acctID set; any other status
// stops it.
OSStatus gatherAccountingInformation(AccountingContextPtr myContext);

OSStatus accountingInputEventHandler(EventHandlerCallRef inHandlerRef, EventRef inEvent, void* inUserData);
