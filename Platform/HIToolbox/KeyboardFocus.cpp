#include <HIToolbox/HIToolboxPrivate.h>

OSStatus SetKeyboardFocus(WindowRef inWindow, ControlRef inControl, ControlFocusPart)
{
    auto* window = _HIWindowFromRef(inWindow);
    if (!window)
        return errInvalidWindowRef;
    if (!inControl) {
        window->focus = nullptr;
        return noErr;
    }
    auto* control = _HIControlFromRef(inControl);
    if (!control)
        return errInvalidControlRef;
    if (control->window != window || !control->isEditField() || !control->effectivelyVisible() || !control->effectivelyEnabled())
        return errCouldntSetFocus;
    window->focus = control;
    return noErr;
}

OSStatus GetKeyboardFocus(WindowRef inWindow, ControlRef* outControl)
{
    auto* window = _HIWindowFromRef(inWindow);
    if (!window)
        return errInvalidWindowRef;
    if (!outControl)
        return paramErr;
    *outControl = _HIRefFromControl(window->focus);
    return noErr;
}

OSStatus ClearKeyboardFocus(WindowRef inWindow)
{
    return SetKeyboardFocus(inWindow, nullptr, kControlFocusNoPart);
}
