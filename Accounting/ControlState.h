// Brings the pane's controls into line with the settings in the context.
#pragma once

#include "Accounting/AccountingContext.h"

void setControls(AccountingContextPtr inContext);

// With the default codes, only Talliant accounting without an account type goes without an
// Account ID: the pane disables the field there, and nowhere else.
bool defaultAccountIDIsOptional(const AccountingContext& context);
