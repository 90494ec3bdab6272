#include "Accounting/ControlState.h"

namespace {

// The gap between the Account ID label and its field once they have moved up in mode 3.
constexpr SInt16 kFieldGapBelowLabel = 8;

bool isSaved(const Rect& r)
{
    return r.top != 0;
}

void forget(Rect& r)
{
    r.top = 0;
}

void moveControlTo(ControlRef control, const Rect& bounds)
{
    HideControl(control);
    SetControlBounds(control, &bounds);
    ShowControl(control);
}

// Paints the area a control covers with its window's background.
void eraseControlArea(ControlRef control)
{
    WindowRef window = GetControlOwner(control);
    if (!window)
        return;
    Rect bounds = {};
    GetControlBounds(control, &bounds);
    GrafPtr savedPort = nullptr;
    GetPort(&savedPort);
    SetPortWindowPort(window);
    EraseRect(&bounds);
    SetPort(savedPort);
}

// The controls of the codes, which accounting on shows and accounting off hides; the account
// type's two go with them only in mode 2.
void forEachCodeControl(AccountingContextPtr inContext, void (*apply)(ControlRef))
{
    ControlRef codeControls[] = {
        inContext->promptIDRef,
        inContext->useDefaultIDRef,
        inContext->userIDRef,
        inContext->userIDTextRef,
        inContext->accountIDRef,
        inContext->accountIDTextRef,
        inContext->concealUserIDRef,
        inContext->concealAccountIDRef,
    };
    for (ControlRef control : codeControls)
        apply(control);
}

void layOutAccountingOff(AccountingContextPtr inContext)
{
    forEachCodeControl(inContext, HideControl);
    HideControl(inContext->accountingTypePopupRef);
    HideControl(inContext->accountingTypeTextRef);
    ShowControl(inContext->accountingNoAccountingTextRef);
    // The moved pair stays where mode 3 put it; clear the area it covered.
    if (isSaved(inContext->accountIDTextRect))
        eraseControlArea(inContext->accountIDTextRef);
    if (isSaved(inContext->accountIDRect))
        eraseControlArea(inContext->accountIDRef);
}

// Without account types, the Account ID label and field move up into the place of the hidden
// type popup, once; their first bounds are saved for the way back to mode 2.
void layOutWithoutTypes(AccountingContextPtr inContext)
{
    HideControl(inContext->accountingTypeTextRef);
    HideControl(inContext->accountingTypePopupRef);

    Rect typeRect = {};
    Rect labelRect = {};
    GetControlBounds(inContext->accountingTypeTextRef, &typeRect);
    GetControlBounds(inContext->accountIDTextRef, &labelRect);
    if (!isSaved(inContext->accountIDTextRect)) {
        GetControlBounds(inContext->accountIDTextRef, &inContext->accountIDTextRect);
        SInt16 height = static_cast<SInt16>(inContext->accountIDTextRect.bottom - inContext->accountIDTextRect.top);
        labelRect.top = typeRect.top;
        labelRect.bottom = static_cast<SInt16>(typeRect.top + height);
        moveControlTo(inContext->accountIDTextRef, labelRect);
    }
    if (!isSaved(inContext->accountIDRect)) {
        GetControlBounds(inContext->accountIDRef, &inContext->accountIDRect);
        SInt16 height = static_cast<SInt16>(inContext->accountIDRect.bottom - inContext->accountIDRect.top);
        GetControlBounds(inContext->accountIDTextRef, &labelRect);
        Rect fieldRect = inContext->accountIDRect;
        fieldRect.top = static_cast<SInt16>(labelRect.bottom + kFieldGapBelowLabel);
        fieldRect.bottom = static_cast<SInt16>(labelRect.bottom + kFieldGapBelowLabel + height);
        moveControlTo(inContext->accountIDRef, fieldRect);
    }
    gMaxChars = 64;
}

void layOutWithTypes(AccountingContextPtr inContext)
{
    if (isSaved(inContext->accountIDTextRect)) {
        moveControlTo(inContext->accountIDTextRef, inContext->accountIDTextRect);
        forget(inContext->accountIDTextRect);
    }
    if (isSaved(inContext->accountIDRect)) {
        moveControlTo(inContext->accountIDRef, inContext->accountIDRect);
        forget(inContext->accountIDRect);
    }
    ShowControl(inContext->accountingTypePopupRef);
    ShowControl(inContext->accountingTypeTextRef);
    gMaxChars = 12;
}

void layOutAccountingOn(AccountingContextPtr inContext)
{
    forEachCodeControl(inContext, ShowControl);
    HideControl(inContext->accountingNoAccountingTextRef);
    if (inContext->acctEnabled == kAccountingWithoutTypes)
        layOutWithoutTypes(inContext);
    else
        layOutWithTypes(inContext);
}

void applyPromptChoice(AccountingContextPtr inContext)
{
    SetControlValue(inContext->promptIDRef, 1);
    SetControlValue(inContext->useDefaultIDRef, 0);
    DisableControl(inContext->userIDRef);
    DisableControl(inContext->userIDTextRef);
    DisableControl(inContext->accountIDRef);
    DisableControl(inContext->accountIDTextRef);
    // The type is chosen in the prompt window at print time.
    inContext->accountType = 1;
    SetControl32BitValue(inContext->accountingTypePopupRef, 1);
    DisableControl(inContext->accountingTypePopupRef);
    DisableControl(inContext->accountingTypeTextRef);
    SetControl32BitValue(inContext->concealUserIDRef, inContext->concealUser);
    EnableControl(inContext->concealUserIDRef);
    Draw1Control(inContext->concealUserIDRef);
    SetControl32BitValue(inContext->concealAccountIDRef, inContext->concealAccount);
    EnableControl(inContext->concealAccountIDRef);
    Draw1Control(inContext->concealAccountIDRef);
}

void applyDefaultCodesChoice(AccountingContextPtr inContext)
{
    SetControlValue(inContext->promptIDRef, 0);
    SetControlValue(inContext->useDefaultIDRef, 1);
    EnableControl(inContext->userIDRef);
    EnableControl(inContext->userIDTextRef);
    if (defaultAccountIDIsOptional(*inContext)) {
        DisableControl(inContext->accountIDRef);
        DisableControl(inContext->accountIDTextRef);
    } else {
        EnableControl(inContext->accountIDRef);
        EnableControl(inContext->accountIDTextRef);
        Draw1Control(inContext->accountIDRef);
    }
    EnableControl(inContext->accountingTypePopupRef);
    EnableControl(inContext->accountingTypeTextRef);
    DisableControl(inContext->concealUserIDRef);
    DisableControl(inContext->concealAccountIDRef);
}

}

bool defaultAccountIDIsOptional(const AccountingContext& context)
{
    return context.acctEnabled == kAccountingTalliant && context.accountType == 1;
}

void setControls(AccountingContextPtr inContext)
{
    Draw1Control(inContext->iconRef);

    if (inContext->acctEnabled == kAccountingOff) {
        layOutAccountingOff(inContext);
        return;
    }
    if (inContext->acctEnabled == kAccountingTalliant || inContext->acctEnabled == kAccountingWithoutTypes)
        layOutAccountingOn(inContext);

    if (inContext->acctEnabled > kAccountingOff) {
        if (inContext->prompt)
            applyPromptChoice(inContext);
        else
            applyDefaultCodesChoice(inContext);
    }
}
