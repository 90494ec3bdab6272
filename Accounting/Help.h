// Opening the accounting help page from a bundle's help book.
#pragma once

#include "Accounting/AccountingContext.h"

#define kAccountingHelpPage CFSTR("Mac_topics/M_accounting_dialog.htm")

// Opens inPagePath, or looks up inAnchorName when it is given, in the help book that
// inBundle's Info.plist names; paramErr when there is no bundle or it names no book.
OSStatus DisplayHelp(CFBundleRef inBundle, CFStringRef inPagePath, CFStringRef inAnchorName);

// Learns the primary dialog extension's bundle, whose help book is the one opened, from the
// Print button's property; without the property primaryPDEBundle keeps its value.
void findPrimaryPDEBundle(AccountingContextPtr myContext);
