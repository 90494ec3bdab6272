// The two registrations of the pane's event handler that the context keeps: on the Print
// button, from Initialize to Terminate, and on the dialog window for help, from Open to Close.
// Each hook is installed at most once: installing it again first removes the earlier one, so
// that no registration is lost and none outlives the context it was given.
#pragma once

#include "Accounting/AccountingContext.h"

void installPrintButtonHook(AccountingContextPtr myContext);
void removePrintButtonHook(AccountingContextPtr myContext);

void installHelpHook(AccountingContextPtr myContext, WindowRef window);
void removeHelpHook(AccountingContextPtr myContext);
