#include "Accounting/PaneHooks.h"

#include "Accounting/PaneEventHandler.h"

namespace {

const EventTypeSpec userOptionEvents[] = { { kEventClassControl, kEventControlHit } };
const EventTypeSpec commandEvents[] = { { kEventClassCommand, kEventCommandProcess } };

}

void installPrintButtonHook(AccountingContextPtr myContext)
{
    removePrintButtonHook(myContext);
    myContext->userOptionEventHandlerUPP = NewEventHandlerUPP(accountingEventHandler);
    InstallEventHandler(GetControlEventTarget(myContext->printButton), myContext->userOptionEventHandlerUPP,
        sizeof userOptionEvents / sizeof userOptionEvents[0], userOptionEvents, myContext, &myContext->printButtonHandler);
}

void removePrintButtonHook(AccountingContextPtr myContext)
{
    if (!myContext->userOptionEventHandlerUPP)
        return;
    RemoveEventHandler(myContext->printButtonHandler);
    DisposeEventHandlerUPP(myContext->userOptionEventHandlerUPP);
    myContext->userOptionEventHandlerUPP = nullptr;
    myContext->printButtonHandler = nullptr;
}

void installHelpHook(AccountingContextPtr myContext, WindowRef window)
{
    removeHelpHook(myContext);
    myContext->helpEventHandlerUPP = NewEventHandlerUPP(accountingEventHandler);
    InstallEventHandler(GetWindowEventTarget(window), myContext->helpEventHandlerUPP, sizeof commandEvents / sizeof commandEvents[0],
        commandEvents, myContext, &myContext->helpEventHandlerRef);
}

void removeHelpHook(AccountingContextPtr myContext)
{
    if (!myContext->helpEventHandlerUPP)
        return;
    RemoveEventHandler(myContext->helpEventHandlerRef);
    DisposeEventHandlerUPP(myContext->helpEventHandlerUPP);
    myContext->helpEventHandlerUPP = nullptr;
    myContext->helpEventHandlerRef = nullptr;
}
