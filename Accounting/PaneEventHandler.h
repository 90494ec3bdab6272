// The pane's event handler: control hits in the pane, the Print button, the help command.
#pragma once

#include "Accounting/AccountingContext.h"

OSStatus accountingEventHandler(EventHandlerCallRef inHandlerRef, EventRef inEvent, void* inUserData);
