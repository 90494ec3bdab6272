#include "Accounting/TicketSync.h"

#include "Accounting/AccountingCodes.h"
#include "Accounting/ControlState.h"

#include <cstdio>

namespace {

#define kAccountingClientID CFSTR("com.pmvendor.printingmanager")
#define kAccountingModeKey CFSTR("com.movra.Act.trel.On")
#define kPromptKey CFSTR("com.movra.Act.trel.Prm")
#define kConcealUserKey CFSTR("com.movra.Act.trel.CU")
#define kConcealAccountKey CFSTR("com.movra.Act.trel.CA")
#define kAccountTypeKey CFSTR("com.movra.Act.trel.AT")
#define kUserIDKey CFSTR("com.movra.Act.trel.UID")
#define kAccountIDKey CFSTR("com.movra.Act.trel.AID")

// A setting that the ticket lacks reads as 1.
constexpr SInt32 kAbsentSettingValue = 1;

SInt32 readSetting(PMTicketRef ticket, CFStringRef key, bool* present = nullptr)
{
    SInt32 value = 0;
    bool found = PMTicketGetSInt32(ticket, kPMTopLevel, kPMTopLevel, key, &value) == noErr;
    if (present)
        *present = found;
    return found ? value : kAbsentSettingValue;
}

SInt32 readConcealSetting(PMTicketRef ticket, CFStringRef key, const char* what)
{
    bool present = false;
    SInt32 value = readSetting(ticket, key, &present);
    if (present)
        fprintf(stderr, "conceal %s value = %ld\n", what, static_cast<long>(value));
    else
        fprintf(stderr, "using default conceal %s value\n", what);
    return value;
}

void setPaneControlValue(WindowRef window, SInt32 number, SInt32 setting)
{
    // Control values carry the low 16 bits of a setting.
    SetControlValue(findAccountingControl(window, number), static_cast<SInt16>(setting));
}

OSStatus writeTicket(AccountingContextPtr myContext, WindowRef window, PMTicketRef ticket)
{
    OSStatus status = PMTicketSetSInt32(ticket, kAccountingClientID, kAccountingModeKey, myContext->acctEnabled, false);
    if (myContext->prompt) {
        PMTicketSetCString(ticket, kAccountingClientID, kUserIDKey, myContext->userID, false);
        PMTicketSetCString(ticket, kAccountingClientID, kAccountIDKey, myContext->acctID, false);
    } else {
        // Typing in the default-code fields reaches no handler: take the codes as they stand.
        readCodeFromControl(findAccountingControl(window, kUserIDFieldID), myContext->defUserID);
        readCodeFromControl(findAccountingControl(window, kAccountIDFieldID), myContext->defAcctID);
        PMTicketSetCString(ticket, kAccountingClientID, kUserIDKey, myContext->defUserID, false);
        PMTicketSetCString(ticket, kAccountingClientID, kAccountIDKey, myContext->defAcctID, false);
    }
    PMTicketSetSInt32(ticket, kAccountingClientID, kPromptKey, myContext->prompt, false);
    PMTicketSetSInt32(ticket, kAccountingClientID, kConcealUserKey, myContext->concealUser, false);
    PMTicketSetSInt32(ticket, kAccountingClientID, kConcealAccountKey, myContext->concealAccount, false);
    PMTicketSetSInt32(ticket, kAccountingClientID, kAccountTypeKey, myContext->accountType, false);
    return status;
}

// Fills a code from the ticket, which cuts an over-long string on a character boundary; an
// absent key leaves the code as it was.
void readCode(PMTicketRef ticket, CFStringRef key, char (&code)[kCodeBufferSize])
{
    PMTicketGetCString(ticket, kPMTopLevel, kPMTopLevel, key, sizeof code, CFStringGetSystemEncoding(), code);
}

OSStatus readTicket(AccountingContextPtr myContext, WindowRef window, PMTicketRef ticket)
{
    myContext->acctEnabled = readSetting(ticket, kAccountingModeKey);
    setPaneControlValue(window, kAccountingPopupID, myContext->acctEnabled);
    myContext->prompt = readSetting(ticket, kPromptKey);
    myContext->concealUser = readConcealSetting(ticket, kConcealUserKey, "user");
    setPaneControlValue(window, kConcealUserCheckBoxID, myContext->concealUser);
    myContext->concealAccount = readConcealSetting(ticket, kConcealAccountKey, "accounting");
    setPaneControlValue(window, kConcealAccountCheckBoxID, myContext->concealAccount);
    myContext->accountType = readSetting(ticket, kAccountTypeKey);
    setPaneControlValue(window, kAccountingTypePopupID, myContext->accountType);
    if (myContext->prompt == 0) {
        readCode(ticket, kUserIDKey, myContext->defUserID);
        readCode(ticket, kAccountIDKey, myContext->defAcctID);
        showCodeInControl(myContext->userIDRef, myContext->defUserID);
        showCodeInControl(myContext->accountIDRef, myContext->defAcctID);
    }
    setControls(myContext);
    return noErr;
}

}

OSStatus GetTicketFromSession(PMPrintSession printSession, CFStringRef ticket, void* container)
{
    CFTypeRef data = nullptr;
    OSStatus status = PMSessionGetDataFromSession(printSession, ticket, &data);
    // Only a number can carry a ticket reference; anything else counts as no ticket.
    if (status != noErr || !data || CFGetTypeID(data) != CFNumberGetTypeID())
        return kPMInvalidTicket;
    CFNumberGetValue(static_cast<CFNumberRef>(data), kCFNumberSInt32Type, container);
    return noErr;
}

OSStatus Sync(PMPDEContext context, PMPrintSession printSession, Boolean syncDirection)
{
    auto myContext = static_cast<AccountingContextPtr>(context);
    if (!myContext || !printSession)
        return kPMInvalidObject;
    WindowRef window = myContext->parentUserPane ? GetControlOwner(myContext->parentUserPane) : nullptr;
    SInt32 printSettingsContainer = 0;
    OSStatus status = GetTicketFromSession(printSession, kPMPrintSettingsTicketKey, &printSettingsContainer);
    if (status != noErr)
        return status;
    auto ticket = reinterpret_cast<PMTicketRef>(static_cast<uintptr_t>(static_cast<UInt32>(printSettingsContainer)));
    switch (syncDirection) {
    case false:
        return writeTicket(myContext, window, ticket);
    case true:
        return readTicket(myContext, window, ticket);
    default:
        return noErr;
    }
}
