#include "Accounting/PaneConstruction.h"

#include "Accounting/AccountingCodes.h"
#include "Accounting/ControlState.h"
#include "Accounting/Help.h"
#include "Accounting/KeyFilter.h"
#include "Accounting/PaneEventHandler.h"
#include "Accounting/PaneHooks.h"
#include "Accounting/PictureDrawing.h"

#include "Source/ImageImportManager.h"

#include <initializer_list>

namespace {

const EventTypeSpec drawEvents[] = { { kEventClassControl, kEventControlDraw } };
const EventTypeSpec hitEvents[] = { { kEventClassControl, kEventControlHit } };

// Loads the pane's content from the interface definition, centred on the parent pane and
// embedded in it; the nib's own window goes afterwards.
OSStatus embedPaneContent(AccountingContextPtr myContext)
{
    IBNibRef nibRef = nullptr;
    OSStatus status = CreateNibReferenceWithCFBundle(myContext->theBundleRef, CFSTR("Accounting"), &nibRef);
    if (status != noErr)
        return status;
    WindowRef nibWindow = nullptr;
    status = CreateWindowFromNib(nibRef, CFSTR("Window"), &nibWindow);
    if (status != noErr) {
        DisposeNibReference(nibRef);
        return status;
    }
    myContext->accountingUserPane = findAccountingControl(nibWindow, kAccountingUserPaneID);
    if (myContext->accountingUserPane) {
        Rect frameRect = {};
        Rect userRect = {};
        GetControlBounds(myContext->parentUserPane, &frameRect);
        GetControlBounds(myContext->accountingUserPane, &userRect);
        SInt32 h = frameRect.left + (frameRect.right - frameRect.left) / 2 - (userRect.right - userRect.left) / 2;
        SInt32 v = frameRect.top + (frameRect.bottom - frameRect.top) / 2 - (userRect.bottom - userRect.top) / 2;
        MoveControl(myContext->accountingUserPane, static_cast<SInt16>(h), static_cast<SInt16>(v));
        if (EmbedControl(myContext->accountingUserPane, myContext->parentUserPane) == noErr)
            SetControlVisibility(myContext->accountingUserPane, true, false);
    }
    DisposeWindow(nibWindow);
    DisposeNibReference(nibRef);
    return noErr;
}

void createImageCache(AccountingContextPtr myContext)
{
    if (myContext->imageImporter)
        return;
    CFURLRef resources = CFBundleCopyResourcesDirectoryURL(myContext->theBundleRef);
    FSRef folder = {};
    if (resources && CFURLGetFSRef(resources, &folder))
        myContext->imageImporter = new ImageImportManager(folder);
    if (resources)
        CFRelease(resources);
}

void lookUpControls(AccountingContextPtr myContext, WindowRef window)
{
    myContext->accountingUserPane = findAccountingControl(window, kAccountingUserPaneID);
    myContext->accountingPopupRef = findAccountingControl(window, kAccountingPopupID);
    MenuRef menu = nullptr;
    GetControlData(myContext->accountingPopupRef, kControlEntireControl, kControlPopupButtonMenuHandleTag, sizeof menu, &menu, nullptr);
    // Talliant accounting comes only from stored settings: the user cannot choose it.
    ChangeMenuItemAttributes(menu, kAccountingTalliant, kMenuItemAttrHidden, 0);
    SetControlValue(myContext->accountingPopupRef, static_cast<SInt16>(myContext->acctEnabled));
    myContext->iconRef = findAccountingControl(window, kAccountingIconID);
    InstallEventHandler(GetControlEventTarget(myContext->iconRef), NewEventHandlerUPP(AccountingDrawEventHandler),
        sizeof drawEvents / sizeof drawEvents[0], drawEvents, myContext, nullptr);
    myContext->promptIDRef = findAccountingControl(window, kPromptRadioID);
    myContext->useDefaultIDRef = findAccountingControl(window, kUseDefaultRadioID);
    myContext->concealUserIDRef = findAccountingControl(window, kConcealUserCheckBoxID);
    myContext->concealAccountIDRef = findAccountingControl(window, kConcealAccountCheckBoxID);
    myContext->userIDRef = findAccountingControl(window, kUserIDFieldID);
    myContext->accountIDTextRef = findAccountingControl(window, kAccountIDTextID);
    myContext->accountIDRef = findAccountingControl(window, kAccountIDFieldID);
    myContext->userIDTextRef = findAccountingControl(window, kUserIDTextID);
    myContext->accountingNoAccountingTextRef = findAccountingControl(window, kNoAccountingTextID);
    myContext->accountingTypePopupRef = findAccountingControl(window, kAccountingTypePopupID);
    SetControlValue(myContext->accountingTypePopupRef, static_cast<SInt16>(myContext->accountType));
    myContext->accountingTypeTextRef = findAccountingControl(window, kAccountingTypeTextID);
}

}

OSStatus Open(PMPDEContext context)
{
    auto myContext = static_cast<AccountingContextPtr>(context);
    if (!myContext)
        return kPMInvalidPDEContext;
    // Without a parent pane (a printer this pane does not serve) there is no dialog to build in.
    if (!myContext->parentUserPane)
        return noErr;
    WindowRef window = GetControlOwner(myContext->parentUserPane);

    installHelpHook(myContext, window);
    findPrimaryPDEBundle(myContext);
    if (myContext->initialized)
        return noErr;

    if (OSStatus status = embedPaneContent(myContext))
        return status;
    createImageCache(myContext);
    lookUpControls(myContext, window);
    if (myContext->prompt == 0) {
        showCodeInControl(myContext->userIDRef, myContext->defUserID);
        showCodeInControl(myContext->accountIDRef, myContext->defAcctID);
    }
    OSStatus status = InstallEventHandler(GetControlEventTarget(myContext->accountingUserPane), NewEventHandlerUPP(accountingEventHandler),
        sizeof hitEvents / sizeof hitEvents[0], hitEvents, myContext, nullptr);
    ControlKeyFilterUPP keyFilter = NewControlKeyFilterUPP(accountKeyFilter);
    for (ControlRef field : { myContext->userIDRef, myContext->accountIDRef }) {
        SetControlData(field, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof keyFilter, &keyFilter);
        attachContextToField(field, myContext);
    }
    setControls(myContext);
    myContext->initialized = true;
    return status;
}
