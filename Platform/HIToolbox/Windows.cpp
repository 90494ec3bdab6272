#include <HIToolbox/HIToolboxPrivate.h>
#include <HIToolbox/HIToolboxStandIn.h>

#include <cstring>

LiveSet<HIWindow>& _HILiveWindows()
{
    static LiveSet<HIWindow> windows;
    return windows;
}

HIWindow* _HIWindowFromRef(WindowRef window)
{
    auto* candidate = reinterpret_cast<HIWindow*>(window);
    return window && _HILiveWindows().contains(candidate) ? candidate : nullptr;
}

HIWindow::HIWindow(WindowClass classOfWindow, const Rect& contentBounds)
    : windowClass(classOfWindow)
    , bounds(contentBounds)
    , port(contentBounds.right - contentBounds.left, contentBounds.bottom - contentBounds.top)
    , target(HIEventTarget::Kind::Window, this, nullptr)
{
    Rect rootBounds = { 0, 0, static_cast<SInt16>(port.height), static_cast<SInt16>(port.width) };
    root = std::make_unique<HIControl>(kControlKindRoot, this, rootBounds);
    _HILiveWindows().add(this);
}

HIWindow::~HIWindow()
{
    _HILiveWindows().remove(this);
    root.reset();
    if (title)
        CFRelease(title);
}

OSStatus CreateNewWindow(WindowClass windowClass, WindowAttributes, const Rect* contentBounds, WindowRef* outWindow)
{
    if (!contentBounds || !outWindow || contentBounds->right < contentBounds->left || contentBounds->bottom < contentBounds->top)
        return paramErr;
    *outWindow = _HIRefFromWindow(new HIWindow(windowClass, *contentBounds));
    return noErr;
}

void DisposeWindow(WindowRef window)
{
    delete _HIWindowFromRef(window);
}

void ShowWindow(WindowRef window)
{
    if (auto* object = _HIWindowFromRef(window))
        object->visible = true;
}

void HideWindow(WindowRef window)
{
    if (auto* object = _HIWindowFromRef(window))
        object->visible = false;
}

Boolean IsWindowVisible(WindowRef window)
{
    auto* object = _HIWindowFromRef(window);
    return object && object->visible;
}

WindowClass GetWindowClassOf(WindowRef window)
{
    auto* object = _HIWindowFromRef(window);
    return object ? object->windowClass : 0;
}

OSStatus SetWindowTitleWithCFString(WindowRef window, CFStringRef title)
{
    auto* object = _HIWindowFromRef(window);
    if (!object)
        return errInvalidWindowRef;
    if (title && CFGetTypeID(title) != CFStringGetTypeID())
        return paramErr;
    if (title)
        CFRetain(title);
    if (object->title)
        CFRelease(object->title);
    object->title = title;
    return noErr;
}

OSStatus CopyWindowTitleAsCFString(WindowRef window, CFStringRef* outTitle)
{
    auto* object = _HIWindowFromRef(window);
    if (!object)
        return errInvalidWindowRef;
    if (!outTitle)
        return paramErr;
    *outTitle = object->title ? static_cast<CFStringRef>(CFRetain(object->title)) : CFSTR("");
    return noErr;
}

OSStatus GetWindowContentBounds(WindowRef window, Rect* outBounds)
{
    auto* object = _HIWindowFromRef(window);
    if (!object)
        return errInvalidWindowRef;
    if (!outBounds)
        return paramErr;
    *outBounds = object->bounds;
    return noErr;
}

void SizeWindow(WindowRef window, short w, short h, Boolean)
{
    auto* object = _HIWindowFromRef(window);
    if (!object || w < 0 || h < 0)
        return;
    object->bounds.right = static_cast<SInt16>(object->bounds.left + w);
    object->bounds.bottom = static_cast<SInt16>(object->bounds.top + h);
    object->port.resize(w, h);
    object->root->bounds = { 0, 0, h, w };
}

namespace {

OSStatus setButton(WindowRef window, ControlRef control, HIControl* HIWindow::*slot)
{
    auto* object = _HIWindowFromRef(window);
    if (!object)
        return errInvalidWindowRef;
    auto* button = _HIControlFromRef(control);
    if (control && (!button || button->window != object))
        return errInvalidControlRef;
    object->*slot = button;
    return noErr;
}

OSStatus getButton(WindowRef window, ControlRef* outControl, HIControl* HIWindow::*slot)
{
    auto* object = _HIWindowFromRef(window);
    if (!object)
        return errInvalidWindowRef;
    if (!outControl)
        return paramErr;
    *outControl = _HIRefFromControl(object->*slot);
    return noErr;
}

}

OSStatus SetWindowDefaultButton(WindowRef window, ControlRef control)
{
    return setButton(window, control, &HIWindow::defaultButton);
}

OSStatus GetWindowDefaultButton(WindowRef window, ControlRef* outControl)
{
    return getButton(window, outControl, &HIWindow::defaultButton);
}

OSStatus SetWindowCancelButton(WindowRef window, ControlRef control)
{
    return setButton(window, control, &HIWindow::cancelButton);
}

OSStatus GetWindowCancelButton(WindowRef window, ControlRef* outControl)
{
    return getButton(window, outControl, &HIWindow::cancelButton);
}

CGrafPtr GetWindowPort(WindowRef window)
{
    auto* object = _HIWindowFromRef(window);
    return object ? _QDRefFromPort(&object->port) : nullptr;
}

void SetPortWindowPort(WindowRef window)
{
    SetPort(GetWindowPort(window));
}

long StandIn::liveToolboxObjectCount(const char* kind)
{
    struct Counter {
        const char* name;
        long (*count)();
    };
    static const Counter counters[] = {
        { "window", [] { return _HILiveWindows().count(); } },
        { "control", [] { return _HILiveControls().count(); } },
        { "menu", [] { return _HILiveMenus().count(); } },
        { "event", [] { return _HILiveEventCount(); } },
        { "handler", [] { return _HILiveHandlers().count(); } },
        { "alert", [] { return _HILiveAlertCount(); } },
    };
    long total = 0;
    for (const auto& counter : counters) {
        if (!kind || strcmp(kind, counter.name) == 0)
            total += counter.count();
    }
    return total;
}

std::string StandIn::windowDefinitionName(WindowRef window)
{
    auto* object = _HIWindowFromRef(window);
    return object ? object->definitionName : std::string();
}
