#include "Accounting/PaneLifecycle.h"

#include "Accounting/PaneHooks.h"
#include "Accounting/TicketSync.h"

#include "Source/ImageImportManager.h"

#include <cstdlib>

namespace {

enum { kPDECreator = 'pde ' };
constexpr UInt32 kMaximumPaneWidth = 150;
constexpr UInt32 kMaximumPaneHeight = 378;

const unsigned char kManufacturerKeyword[] = "\x0CManufacturer";
const unsigned char kServedManufacturer[] = "\x05Movra";

CFStringRef copyLocalizedString(CFBundleRef bundle, CFStringRef key)
{
    return CFBundleCopyLocalizedString(bundle, key, key, nullptr);
}

bool printerIsServed(PPDContext ppd)
{
    Mindex mIndex = 0;
    Str255 manufacturerString = { 0 };
    if (ppdGetMainIndex(ppd, kManufacturerKeyword, &mIndex) != noErr
        || ppdGetInvocationString(ppd, mIndex, 0, manufacturerString, sizeof manufacturerString) != noErr)
        return false;
    return PLstrcmp(manufacturerString, kServedManufacturer) == 0;
}

void hookPrintButton(AccountingContextPtr myContext, ControlRef parentUserPane, PMPrintSession printSession)
{
    myContext->parentUserPane = parentUserPane;
    myContext->printSession = printSession;
    if (Sync(myContext, printSession, true) == noErr) {
        myContext->theWindow = GetControlOwner(parentUserPane);
        GetWindowDefaultButton(myContext->theWindow, &myContext->printButton);
    }
    if (myContext->printButton)
        installPrintButtonHook(myContext);
}

}

OSStatus Prologue(PMPDEContext* context, OSType* creator, CFStringRef* userOptionKind, CFStringRef* title, UInt32* maxH, UInt32* maxV)
{
    auto myContext = static_cast<AccountingContextPtr>(calloc(1, sizeof(AccountingContext)));
    if (!myContext)
        return kPMInvalidPDEContext;
    myContext->acctEnabled = kAccountingOff;
    myContext->accountType = 1;
    myContext->theBundleRef = CFBundleGetBundleWithIdentifier(kAccountingBundleIdentifier);
    gContext = myContext;
    *context = myContext;
    *maxH = kMaximumPaneWidth;
    *maxV = kMaximumPaneHeight;
    myContext->theTitleRef = copyLocalizedString(myContext->theBundleRef, CFSTR("Accounting"));
    if (myContext->theTitleRef)
        *title = myContext->theTitleRef;
    *userOptionKind = CFSTR("com.movra.print.pde.AccountingKind");
    *creator = kPDECreator;
    return noErr;
}

OSStatus Initialize(PMPDEContext context, PMPDEFlags*, PMPDERef, ControlRef parentUserPane, PMPrintSession printSession)
{
    auto myContext = static_cast<AccountingContextPtr>(context);
    if (!myContext || !printSession)
        return kPMInvalidPDEContext;
    SInt32 printerInfoContainer = 0;
    OSStatus status = GetTicketFromSession(printSession, kPMPrinterInfoTicketKey, &printerInfoContainer);
    if (status != noErr)
        return status;
    auto printerInfo = reinterpret_cast<PMTicketRef>(static_cast<uintptr_t>(static_cast<UInt32>(printerInfoContainer)));
    PPDContext ppd = nullptr;
    FSSpec tempFSSpec = {};
    status = ppdOpenCompiledPPDFromTicket(printerInfo, &ppd, &tempFSSpec);
    if (status != noErr)
        return status;
    if (printerIsServed(ppd))
        hookPrintButton(myContext, parentUserPane, printSession);
    ppdCloseCompiledPPDFromTicket(ppd, &tempFSSpec);
    return noErr;
}

OSStatus GetSummaryText(PMPDEContext context, CFArrayRef* titleArray, CFArrayRef* summaryArray)
{
    *titleArray = nullptr;
    *summaryArray = nullptr;
    auto myContext = static_cast<AccountingContextPtr>(context);
    if (!myContext)
        return kPMInvalidPDEContext;
    CFMutableArrayRef titles = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    CFMutableArrayRef summaries = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    if (!titles || !summaries) {
        if (titles)
            CFRelease(titles);
        if (summaries)
            CFRelease(summaries);
        return memFullErr;
    }
    CFStringRef titleText = copyLocalizedString(myContext->theBundleRef, CFSTR(" Accounting"));
    if (!titleText) {
        CFRelease(titles);
        CFRelease(summaries);
        return noErr;
    }
    // Before the pane is built there is no popup to read: the mode is read as the popup will show
    // it, by its low 16 bits, so that the summary says the same before and after.
    SInt32 mode = myContext->accountingPopupRef ? GetControlValue(myContext->accountingPopupRef)
                                                : static_cast<SInt16>(myContext->acctEnabled);
    CFStringRef summaryText = copyLocalizedString(myContext->theBundleRef, mode >= 2 ? CFSTR(" Enabled") : CFSTR(" Disabled"));
    if (!summaryText) {
        CFRelease(titleText);
        CFRelease(titles);
        CFRelease(summaries);
        return noErr;
    }
    CFArrayAppendValue(titles, titleText);
    CFArrayAppendValue(summaries, summaryText);
    CFRelease(titleText);
    CFRelease(summaryText);
    *titleArray = titles;
    *summaryArray = summaries;
    return noErr;
}

OSStatus Close(PMPDEContext context)
{
    auto myContext = static_cast<AccountingContextPtr>(context);
    if (!myContext)
        return kPMInvalidPDEContext;
    removeHelpHook(myContext);
    return noErr;
}

OSStatus Terminate(PMPDEContext context, OSStatus)
{
    auto myContext = static_cast<AccountingContextPtr>(context);
    if (!myContext)
        return kPMInvalidPDEContext;
    if (myContext->theTitleRef) {
        CFRelease(myContext->theTitleRef);
        myContext->theTitleRef = nullptr;
    }
    // A host that skipped Close would otherwise leave the help hook holding the freed context.
    removePrintButtonHook(myContext);
    removeHelpHook(myContext);
    if (myContext->imageImporter) {
        delete myContext->imageImporter;
        myContext->imageImporter = nullptr;
    }
    // Nothing may read the freed context through the global.
    if (gContext == myContext)
        gContext = nullptr;
    free(myContext);
    return noErr;
}
