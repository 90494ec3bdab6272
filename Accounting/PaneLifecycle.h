// The pane callbacks that create, gate, summarise and tear down the pane.
#pragma once

#include "Accounting/AccountingContext.h"

#define kAccountingBundleIdentifier CFSTR("com.movra.print.pde.Accounting_rk7700")

OSStatus Prologue(PMPDEContext* context, OSType* creator, CFStringRef* userOptionKind, CFStringRef* title, UInt32* maxH, UInt32* maxV);
OSStatus Initialize(PMPDEContext context, PMPDEFlags* flags, PMPDERef ref, ControlRef parentUserPane, PMPrintSession printSession);
OSStatus GetSummaryText(PMPDEContext context, CFArrayRef* titleArray, CFArrayRef* summaryArray);
OSStatus Close(PMPDEContext context);
OSStatus Terminate(PMPDEContext context, OSStatus status);
