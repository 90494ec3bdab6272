#include "Accounting/PictureDrawing.h"

#include "Source/ImageImportManager.h"

OSStatus AccountingDrawEventHandler(EventHandlerCallRef, EventRef inEvent, void* inUserData)
{
    auto myContext = static_cast<AccountingContextPtr>(inUserData);
    if (GetEventClass(inEvent) != kEventClassControl || GetEventKind(inEvent) != kEventControlDraw)
        return eventNotHandledErr;
    ControlRef control_to_draw = nullptr;
    GetEventParameter(inEvent, kEventParamDirectObject, typeControlRef, nullptr, sizeof control_to_draw, nullptr, &control_to_draw);
    if (control_to_draw != myContext->iconRef)
        return eventNotHandledErr;
    DrawImage(myContext->acctEnabled == kAccountingOff ? kAccountingOffImage : kAccountingOnImage, myContext->iconRef, false);
    return noErr;
}

void DrawImage(CFStringRef inFilename, ControlRef inUserPane, Boolean isOverlay)
{
    if (!inUserPane)
        return;
    Rect drawRect = {};
    GetControlBounds(inUserPane, &drawRect);
    if (!isOverlay) {
        GrafPtr savedPort = nullptr;
        GetPort(&savedPort);
        SetPortWindowPort(GetControlOwner(inUserPane));
        EraseRect(&drawRect);
        SetPort(savedPort);
    }
    if (!inFilename)
        return;
    ComponentInstance importer = ImageImportManager::componentForFilename(inFilename);
    if (!importer)
        return;
    if (GraphicsImportSetGWorld(importer, GetWindowPort(GetControlOwner(inUserPane)), nullptr) != noErr)
        return;
    Rect imageRect = {};
    if (GraphicsImportGetNaturalBounds(importer, &imageRect) != noErr)
        return;
    imageRect.bottom = static_cast<SInt16>(imageRect.bottom + (drawRect.top - imageRect.top));
    imageRect.right = static_cast<SInt16>(imageRect.right + (drawRect.left - imageRect.left));
    imageRect.top = drawRect.top;
    imageRect.left = drawRect.left;
    if (GraphicsImportSetDestRect(importer, &imageRect) != noErr)
        return;
    GraphicsImportDraw(importer);
}
