#include "Accounting/Help.h"

#include <Help/AppleHelp.h>

OSStatus DisplayHelp(CFBundleRef inBundle, CFStringRef inPagePath, CFStringRef inAnchorName)
{
    CFTypeRef bookName = inBundle ? CFBundleGetValueForInfoDictionaryKey(inBundle, CFSTR("CFBundleHelpBookName")) : nullptr;
    if (!bookName || CFGetTypeID(bookName) != CFStringGetTypeID())
        return paramErr;
    if (inAnchorName)
        return AHLookupAnchor(static_cast<CFStringRef>(bookName), inAnchorName);
    return AHGotoPage(static_cast<CFStringRef>(bookName), inPagePath, nullptr);
}

void findPrimaryPDEBundle(AccountingContextPtr myContext)
{
    GetControlProperty(myContext->printButton, kPMPrimaryPDEPropertyCreator, kPMPrimaryPDEBundleTag, sizeof myContext->primaryPDEBundle,
        nullptr, &myContext->primaryPDEBundle);
}
