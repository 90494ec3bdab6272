#include "Accounting/AccountingContext.h"

AccountingContextPtr gContext = nullptr;
int gMaxChars = 0;

ControlRef findAccountingControl(WindowRef window, SInt32 number)
{
    ControlRef control = nullptr;
    const ControlID controlID = { kAccountingControlSignature, number };
    GetControlByID(window, &controlID, &control);
    return control;
}
