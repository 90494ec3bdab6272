// The pane's picture: accounting off or on, drawn from the image cache.
#pragma once

#include "Accounting/AccountingContext.h"

#define kAccountingOffImage CFSTR("Accounting-Off.gif")
#define kAccountingOnImage CFSTR("Accounting-On.gif")

OSStatus AccountingDrawEventHandler(EventHandlerCallRef inHandlerRef, EventRef inEvent, void* inUserData);

// Draws the cached image inFilename at inUserPane's top-left corner in its natural size;
// unless isOverlay, the control's bounds are erased first.
void DrawImage(CFStringRef inFilename, ControlRef inUserPane, Boolean isOverlay);
