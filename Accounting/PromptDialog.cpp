#include "Accounting/PromptDialog.h"

#include "Accounting/AccountingCodes.h"
#include "Accounting/ControlState.h"
#include "Accounting/Help.h"
#include "Accounting/KeyFilter.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

enum { kHelpCommandID = 'Mhlp' };

const EventTypeSpec controlSpec[] = {
    { kEventClassControl, kEventControlHit },
    { kEventClassKeyboard, kEventRawKeyUp },
    { kEventClassCommand, kEventCommandProcess },
};

CFStringRef copyLocalizedString(AccountingContextPtr myContext, CFStringRef key)
{
    return CFBundleCopyLocalizedString(myContext->theBundleRef, key, key, nullptr);
}

// Takes a default code from a pane field. Returns whether the code is present; a field that
// gives no string (the pane is not built) leaves the stored code to decide.
bool takeDefaultCode(ControlRef field, char (&code)[kCodeBufferSize])
{
    CFStringRef typed = nullptr;
    if (!field || GetControlData(field, kControlEntireControl, kControlEditTextCFStringTag, sizeof typed, &typed, nullptr) != noErr
        || !typed)
        return code[0] != '\0';
    bool present = CFStringGetLength(typed) > 0;
    if (present) {
        std::vector<char> bytes(CFStringGetMaximumSizeForEncoding(CFStringGetLength(typed), CFStringGetSystemEncoding()) + 1);
        // A code that cannot be expressed in the system encoding cannot travel with the job.
        present = CFStringGetCString(typed, bytes.data(), static_cast<CFIndex>(bytes.size()), CFStringGetSystemEncoding());
        if (present)
            copyCodeText(code, sizeof code, bytes.data(), strlen(bytes.data()));
    }
    CFRelease(typed);
    return present;
}

OSStatus useDefaultCodes(AccountingContextPtr myContext)
{
    bool userIDPresent = takeDefaultCode(myContext->userIDRef, myContext->defUserID);
    bool accountIDPresent = takeDefaultCode(myContext->accountIDRef, myContext->defAcctID);
    bool badDefaultCodes = !userIDPresent || (!accountIDPresent && !defaultAccountIDIsOptional(*myContext));
    if (badDefaultCodes) {
        CFStringRef header = copyLocalizedString(myContext, CFSTR("Accounting"));
        CFStringRef message = copyLocalizedString(myContext, CFSTR("Bad Default Codes Message"));
        CFUserNotificationDisplayNotice(0, kCFUserNotificationStopAlertLevel, nullptr, nullptr, nullptr, header, message, nullptr);
        if (header)
            CFRelease(header);
        if (message)
            CFRelease(message);
        return noErr;
    }
    strcpy(myContext->userID, myContext->defUserID);
    strcpy(myContext->acctID, myContext->defAcctID);
    return eventNotHandledErr;
}

bool windowHoldsPromptControls(WindowRef window, bool withAccountType)
{
    std::vector<SInt32> required = { kPromptUserIDFieldID, kPromptAccountIDFieldID, kPromptOKButtonID, kPromptCancelButtonID };
    if (withAccountType) {
        required.push_back(kPromptAccountIDTextID);
        required.push_back(kPromptAccountTypePopupID);
    }
    return std::all_of(required.begin(), required.end(), [window](SInt32 number) { return findAccountingControl(window, number); });
}

// Puts a concealed field in the place of the window's own field: same bounds and style, and
// the same id, which the old field gives up first so that the id names one control only.
ControlRef concealField(WindowRef window, ControlRef field, SInt32 fieldNumber, SInt32 retiredNumber)
{
    Rect bounds = {};
    GetControlBounds(field, &bounds);
    ControlFontStyleRec fontStyle = {};
    GetControlData(field, kControlEntireControl, kControlFontStyleTag, sizeof fontStyle, &fontStyle, nullptr);
    const ControlID retiredID = { kAccountingControlSignature, retiredNumber };
    SetControlID(field, &retiredID);
    HideControl(field);
    ControlRef concealed = nullptr;
    CreateEditTextControl(window, &bounds, CFSTR(""), true, false, &fontStyle, &concealed);
    const ControlID fieldID = { kAccountingControlSignature, fieldNumber };
    SetControlID(concealed, &fieldID);
    return concealed;
}

ControlDataTag textTag(SInt32 conceal)
{
    return conceal ? kControlEditTextPasswordTag : kControlEditTextTextTag;
}

Size textLength(ControlRef field, SInt32 conceal)
{
    Size size = 0;
    GetControlData(field, kControlEntireControl, textTag(conceal), 0, nullptr, &size);
    return size;
}

// Reads at most gMaxChars bytes of a typed code, cut on a character boundary.
void readTypedCode(ControlRef field, SInt32 conceal, char (&code)[kCodeBufferSize])
{
    int limit = std::clamp(gMaxChars, 0, kCodeBufferSize - 1);
    // One byte beyond the limit shows whether a character goes on past it.
    char text[kCodeBufferSize];
    Size actualSize = 0;
    if (GetControlData(field, kControlEntireControl, textTag(conceal), limit + 1, text, &actualSize) != noErr)
        actualSize = 0;
    copyCodeText(code, limit + 1, text, std::min<Size>(std::max<Size>(actualSize, 0), limit + 1));
}

// The prompt asks for an Account ID without types, and in Talliant accounting for the account
// types that name an account.
bool promptNeedsAccountID(const AccountingContext& context)
{
    if (context.acctEnabled == kAccountingWithoutTypes)
        return true;
    return context.acctEnabled == kAccountingTalliant && (context.accountType == 2 || context.accountType == 3);
}

void applyOKRule(AccountingContextPtr myContext, WindowRef window)
{
    bool okEnabled = textLength(findAccountingControl(window, kPromptUserIDFieldID), myContext->concealUser) > 0;
    if (promptNeedsAccountID(*myContext))
        okEnabled = okEnabled && textLength(findAccountingControl(window, kPromptAccountIDFieldID), myContext->concealAccount) > 0;
    ControlRef okButton = findAccountingControl(window, kPromptOKButtonID);
    if (okEnabled)
        EnableControl(okButton);
    else
        DisableControl(okButton);
}

void applyAccountTypeRule(AccountingContextPtr myContext, WindowRef window, ControlRef popup)
{
    ControlRef accountField = findAccountingControl(window, kPromptAccountIDFieldID);
    ControlRef accountLabel = findAccountingControl(window, kPromptAccountIDTextID);
    ControlRef okButton = findAccountingControl(window, kPromptOKButtonID);
    if (GetControlValue(popup) <= 1) {
        CFStringRef nullString = CFSTR("");
        ControlDataTag tag = myContext->concealAccount ? kControlEditTextPasswordCFStringTag : kControlEditTextCFStringTag;
        SetControlData(accountField, kControlEntireControl, tag, sizeof nullString, &nullString);
        DisableControl(accountField);
        DisableControl(accountLabel);
        EnableControl(okButton);
    } else {
        EnableControl(accountLabel);
        EnableControl(accountField);
        DisableControl(okButton);
    }
    myContext->accountType = GetControl32BitValue(popup);
}

void closePrompt(AccountingContextPtr myContext, EventHandlerRef eventHdlRef, ControlKeyFilterUPP keyFilter)
{
    RemoveEventHandler(eventHdlRef);
    DisposeControlKeyFilterUPP(keyFilter);
    DisposeWindow(myContext->accountWindow);
    myContext->accountWindow = nullptr;
}

OSStatus runPrompt(AccountingContextPtr myContext)
{
    IBNibRef nibRef = nullptr;
    if (CreateNibReferenceWithCFBundle(myContext->theBundleRef, CFSTR("Accounting"), &nibRef) != noErr)
        return noErr;
    bool talliant = myContext->acctEnabled == kAccountingTalliant;
    OSStatus status = CreateWindowFromNib(nibRef, talliant ? CFSTR("Talliant") : CFSTR("Accounting"), &myContext->accountWindow);
    DisposeNibReference(nibRef);
    if (status != noErr) {
        myContext->accountWindow = nullptr;
        return noErr;
    }
    WindowRef window = myContext->accountWindow;
    // A window without its fields and buttons could never be answered: treat it as no window.
    if (!windowHoldsPromptControls(window, talliant)) {
        DisposeWindow(window);
        myContext->accountWindow = nullptr;
        return noErr;
    }

    EventHandlerRef eventHdlRef = nullptr;
    InstallEventHandler(GetWindowEventTarget(window), NewEventHandlerUPP(accountingInputEventHandler),
        sizeof controlSpec / sizeof controlSpec[0], controlSpec, myContext, &eventHdlRef);
    ControlRef userInputRef = findAccountingControl(window, kPromptUserIDFieldID);
    ControlRef accountInputRef = findAccountingControl(window, kPromptAccountIDFieldID);
    if (myContext->concealUser)
        userInputRef = concealField(window, userInputRef, kPromptUserIDFieldID, kReplacedUserIDFieldID);
    if (myContext->concealAccount)
        accountInputRef = concealField(window, accountInputRef, kPromptAccountIDFieldID, kReplacedAccountIDFieldID);
    if (talliant) {
        DisableControl(accountInputRef);
        DisableControl(findAccountingControl(window, kPromptAccountIDTextID));
    }
    SetKeyboardFocus(window, userInputRef, kControlFocusNextPart);
    ControlKeyFilterUPP keyFilter = NewControlKeyFilterUPP(accountKeyFilter);
    for (ControlRef field : { userInputRef, accountInputRef }) {
        SetControlData(field, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof keyFilter, &keyFilter);
        attachContextToField(field, myContext);
    }
    DisableControl(findAccountingControl(window, kPromptOKButtonID));

    // The key filter of the prompt's fields reads the mode of the pane whose prompt is up.
    AccountingContextPtr previousContext = gContext;
    gContext = myContext;
    ShowWindow(window);
    status = RunAppModalLoopForWindow(window);
    gContext = previousContext;

    // A loop that ended without OK or Cancel (its input gave out) gave no codes: no print.
    if (status != noErr) {
        closePrompt(myContext, eventHdlRef, keyFilter);
        return status;
    }
    if (!myContext->cancelled) {
        readTypedCode(userInputRef, myContext->concealUser, myContext->userID);
        readTypedCode(accountInputRef, myContext->concealAccount, myContext->acctID);
        closePrompt(myContext, eventHdlRef, keyFilter);
        return eventNotHandledErr;
    }
    closePrompt(myContext, eventHdlRef, keyFilter);
    CFStringRef errStr = copyLocalizedString(myContext, CFSTR("Cancel Alert"));
    DialogRef alert = nullptr;
    CreateStandardAlert(kAlertStopAlert, errStr, nullptr, nullptr, &alert);
    DialogItemIndex itemHit = 0;
    RunStandardAlert(alert, nullptr, &itemHit);
    if (errStr)
        CFRelease(errStr);
    return status;
}

}

OSStatus gatherAccountingInformation(AccountingContextPtr myContext)
{
    if (myContext->prompt == 0)
        return useDefaultCodes(myContext);
    return runPrompt(myContext);
}

OSStatus accountingInputEventHandler(EventHandlerCallRef, EventRef inEvent, void* inUserData)
{
    auto myContext = static_cast<AccountingContextPtr>(inUserData);
    UInt32 eClass = GetEventClass(inEvent);
    UInt32 eKind = GetEventKind(inEvent);
    WindowRef window = myContext->accountWindow;

    if (eClass == kEventClassCommand && eKind == kEventCommandProcess) {
        HICommand commandStruct = {};
        GetEventParameter(inEvent, kEventParamDirectObject, typeHICommand, nullptr, sizeof commandStruct, nullptr, &commandStruct);
        if (commandStruct.commandID == kHelpCommandID) {
            // Only Open learns the primary bundle: a print made before the pane was ever shown
            // has to find it here.
            if (!myContext->initialized)
                findPrimaryPDEBundle(myContext);
            return DisplayHelp(myContext->primaryPDEBundle, kAccountingHelpPage, nullptr);
        }
    } else if (eClass == kEventClassControl && eKind == kEventControlHit) {
        ControlRef control = nullptr;
        GetEventParameter(inEvent, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
        ControlID controlID = {};
        GetControlID(control, &controlID);
        if (controlID.signature != kAccountingControlSignature)
            return eventNotHandledErr;
        switch (controlID.id) {
        case kPromptOKButtonID:
            myContext->cancelled = false;
            QuitAppModalLoopForWindow(window);
            break;
        case kPromptCancelButtonID:
            myContext->cancelled = true;
            QuitAppModalLoopForWindow(window);
            break;
        case kPromptAccountTypePopupID:
            applyAccountTypeRule(myContext, window, control);
            break;
        default:
            break;
        }
    } else if (eClass == kEventClassKeyboard && eKind == kEventRawKeyUp) {
        applyOKRule(myContext, window);
    }
    return eventNotHandledErr;
}
