#include "dialog/WindowControls.h"

#include <HIToolbox/UserActionsStandIn.h>

namespace {

enum : PropertyTag { kPrintableTextProperty = 'Prnt' };

void forEachEmbedded(ControlRef control, const std::function<void(ControlRef)>& visit)
{
    UInt16 count = 0;
    CountSubControls(control, &count);
    for (UInt16 i = 1; i <= count; ++i) {
        ControlRef child = nullptr;
        GetIndexedSubControl(control, i, &child);
        visit(child);
        forEachEmbedded(child, visit);
    }
}

}

ControlRef findControlByNumber(WindowRef window, SInt32 number)
{
    ControlRef control = nullptr;
    const ControlID controlID = { kPaneControlSignature, number };
    GetControlByID(window, &controlID, &control);
    return control;
}

ControlRef findControlByCommand(WindowRef window, UInt32 command)
{
    ControlRef found = nullptr;
    forEachControl(window, [&](ControlRef control) {
        UInt32 own = 0;
        GetControlCommandID(control, &own);
        if (!found && own == command)
            found = control;
    });
    return found;
}

void forEachControl(WindowRef window, const std::function<void(ControlRef)>& visit)
{
    ControlRef root = nullptr;
    GetRootControl(window, &root);
    forEachEmbedded(root, visit);
}

bool clickIntoField(ControlRef field, std::string* error)
{
    ControlRef focused = nullptr;
    GetKeyboardFocus(GetControlOwner(field), &focused);
    return focused == field || StandIn::clickControl(field, error) == noErr;
}

std::string controlText(ControlRef control, ControlDataTag tag)
{
    Size size = 0;
    if (GetControlData(control, kControlEntireControl, tag, 0, nullptr, &size) != noErr || size <= 0)
        return {};
    std::string text(static_cast<size_t>(size), '\0');
    GetControlData(control, kControlEntireControl, tag, size, text.data(), &size);
    text.resize(static_cast<size_t>(size));
    return text;
}

void markTextPrintable(ControlRef control)
{
    const Boolean printable = true;
    SetControlProperty(control, kPaneControlSignature, kPrintableTextProperty, sizeof printable, &printable);
}

bool textIsPrintable(ControlRef control)
{
    UInt32 size = 0;
    return GetControlPropertySize(control, kPaneControlSignature, kPrintableTextProperty, &size) == noErr;
}
