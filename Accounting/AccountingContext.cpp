#include "AccountingContext.h"

AccountingContextPtr gContext = nullptr;
int gMaxChars = 0;
