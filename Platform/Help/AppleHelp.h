// Help books: folders of HTML pages that a bundle names in its Info.plist
// (CFBundleHelpBookName, CFBundleHelpBookFolder), opened through the toolbox's input source.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

enum {
    kAHInternalErr = -10790,
    kAHBookNotFoundErr = -10792,
};

PLATFORM_EXTERN_C_BEGIN

// Registers the help book of the bundle at bundleURL under its book name.
PLATFORM_EXPORT OSStatus AHRegisterHelpBookWithURL(CFURLRef bundleURL);
// Opens path (relative to the book's folder) in the book, at anchor when given.
// kAHBookNotFoundErr for an unknown book, fnfErr for a page that is not in it.
PLATFORM_EXPORT OSStatus AHGotoPage(CFStringRef bookname, CFStringRef path, CFStringRef anchor);
// Opens the page of the book that holds the anchor (<a name="..."> or id="...").
PLATFORM_EXPORT OSStatus AHLookupAnchor(CFStringRef bookname, CFStringRef anchor);

PLATFORM_EXTERN_C_END
