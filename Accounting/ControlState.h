// Brings the pane's controls into line with the settings in the context.
#pragma once

#include "AccountingContext.h"

void setControls(AccountingContextPtr inContext);
