// Building the pane the first time it is shown, and hooking help each time.
#pragma once

#include "Accounting/AccountingContext.h"

OSStatus Open(PMPDEContext context);
