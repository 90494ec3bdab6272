// The key filter of the four code fields, and the link from a field to its pane's context.
#pragma once

#include "Accounting/AccountingContext.h"

ControlKeyFilterResult accountKeyFilter(ControlRef theControl, SInt16* keyCode, SInt16* charCode, EventModifiers* modifiers);

// Marks a code field as belonging to a context, so that the key filter applies the limits of
// the field's own dialog even when another dialog's context was created later.
void attachContextToField(ControlRef field, AccountingContextPtr context);
