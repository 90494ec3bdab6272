#include "Accounting/PaneEventHandler.h"

#include "Accounting/AccountingCodes.h"
#include "Accounting/ControlState.h"
#include "Accounting/Help.h"
#include "Accounting/PromptDialog.h"

namespace {

enum { kHelpCommandID = 'help' };

OSStatus handleControlHit(AccountingContextPtr myContext, EventRef inEvent)
{
    ControlRef control = nullptr;
    if (GetEventParameter(inEvent, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control) != noErr)
        return eventNotHandledErr;
    ControlID controlID = {};
    GetControlID(control, &controlID);
    if (control == myContext->printButton) {
        if (myContext->acctEnabled > kAccountingOff)
            return gatherAccountingInformation(myContext);
        return eventNotHandledErr;
    }
    if (controlID.signature != kAccountingControlSignature)
        return eventNotHandledErr;

    SInt32 value = GetControlValue(control);
    switch (controlID.id) {
    case kAccountingPopupID:
        myContext->acctEnabled = value;
        setControls(myContext);
        break;
    case kAccountingTypePopupID:
        myContext->accountType = value;
        setControls(myContext);
        break;
    case kPromptRadioID:
        myContext->prompt = 1;
        SetControlValue(myContext->useDefaultIDRef, 0);
        setControls(myContext);
        break;
    case kUseDefaultRadioID:
        myContext->prompt = 0;
        SetControlValue(myContext->promptIDRef, 0);
        setControls(myContext);
        showCodeInControl(myContext->userIDRef, myContext->defUserID);
        showCodeInControl(myContext->accountIDRef, myContext->defAcctID);
        break;
    case kConcealUserCheckBoxID:
        myContext->concealUser = value;
        break;
    case kConcealAccountCheckBoxID:
        myContext->concealAccount = value;
        break;
    default:
        break;
    }
    return eventNotHandledErr;
}

}

OSStatus accountingEventHandler(EventHandlerCallRef, EventRef inEvent, void* inUserData)
{
    auto myContext = static_cast<AccountingContextPtr>(inUserData);
    UInt32 eventClass = GetEventClass(inEvent);
    UInt32 eventKind = GetEventKind(inEvent);
    if (eventClass == kEventClassControl && eventKind == kEventControlHit)
        return handleControlHit(myContext, inEvent);
    if (eventClass == kEventClassCommand && eventKind == kEventCommandProcess) {
        HICommand command = {};
        if (GetEventParameter(inEvent, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command) == noErr
            && command.commandID == kHelpCommandID)
            return DisplayHelp(myContext->primaryPDEBundle, kAccountingHelpPage, nullptr);
    }
    return eventNotHandledErr;
}
