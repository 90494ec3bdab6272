#include <HIToolbox/HIToolboxPrivate.h>

#include <CoreFoundation/CFStringPrivate.h>

#include <algorithm>
#include <climits>

LiveSet<HIControl>& _HILiveControls()
{
    static LiveSet<HIControl> controls;
    return controls;
}

HIControl* _HIControlFromRef(ControlRef control)
{
    auto* candidate = reinterpret_cast<HIControl*>(control);
    return control && _HILiveControls().contains(candidate) ? candidate : nullptr;
}

HIControl::HIControl(OSType controlKind, HIWindow* owner, const Rect& initialBounds)
    : kind(controlKind)
    , window(owner)
    , bounds(initialBounds)
    , target(HIEventTarget::Kind::Control, owner, this)
{
    _HILiveControls().add(this);
}

HIControl::~HIControl()
{
    _HILiveControls().remove(this);
    children.clear();
    if (window && window->defaultButton == this)
        window->defaultButton = nullptr;
    if (window && window->cancelButton == this)
        window->cancelButton = nullptr;
    if (window && window->focus == this)
        window->focus = nullptr;
    if (title)
        CFRelease(title);
    if (menu)
        ReleaseMenu(menu);
}

bool HIControl::effectivelyVisible() const
{
    for (const HIControl* control = this; control; control = control->parent) {
        if (!control->visible)
            return false;
    }
    return true;
}

bool HIControl::effectivelyEnabled() const
{
    for (const HIControl* control = this; control; control = control->parent) {
        if (!control->enabled)
            return false;
    }
    return true;
}

void HIControl::setValue(SInt32 newValue)
{
    value = std::clamp(newValue, minimum, std::max(minimum, maximum));
}

void HIControl::setText(std::string newText)
{
    text = std::move(newText);
    selectionStart = selectionEnd = text.size();
}

void HIControl::setWindow(HIWindow* owner)
{
    if (window && window != owner) {
        if (window->defaultButton == this)
            window->defaultButton = nullptr;
        if (window->cancelButton == this)
            window->cancelButton = nullptr;
        if (window->focus == this)
            window->focus = nullptr;
    }
    window = owner;
    target.window = owner;
    for (auto& child : children)
        child->setWindow(owner);
}

void HIControl::offset(int dh, int dv)
{
    bounds.left = static_cast<SInt16>(bounds.left + dh);
    bounds.right = static_cast<SInt16>(bounds.right + dh);
    bounds.top = static_cast<SInt16>(bounds.top + dv);
    bounds.bottom = static_cast<SInt16>(bounds.bottom + dv);
    for (auto& child : children)
        child->offset(dh, dv);
}

std::unique_ptr<HIControl>& HIControl::slotInParent()
{
    auto& siblings = parent->children;
    return *std::find_if(siblings.begin(), siblings.end(), [this](auto& sibling) { return sibling.get() == this; });
}

namespace {

OSStatus createControl(WindowRef window, const Rect* boundsRect, OSType kind, ControlRef* outControl, HIControl** created)
{
    auto* owner = _HIWindowFromRef(window);
    if (!owner)
        return errInvalidWindowRef;
    if (!boundsRect || !outControl)
        return paramErr;
    auto control = std::make_unique<HIControl>(kind, owner, *boundsRect);
    control->parent = owner->root.get();
    *created = control.get();
    owner->root->children.push_back(std::move(control));
    *outControl = _HIRefFromControl(*created);
    return noErr;
}

void setTitle(HIControl& control, CFStringRef title)
{
    if (title && CFGetTypeID(title) != CFStringGetTypeID())
        return;
    if (title)
        CFRetain(title);
    if (control.title)
        CFRelease(control.title);
    control.title = title;
}

bool isDescendantOrSelf(const HIControl* candidate, const HIControl* ancestor)
{
    for (; candidate; candidate = candidate->parent) {
        if (candidate == ancestor)
            return true;
    }
    return false;
}

HIControl* findByID(HIControl& control, const ControlID& wanted)
{
    if (control.id.signature == wanted.signature && control.id.id == wanted.id && control.kind != kControlKindRoot)
        return &control;
    for (auto& child : control.children) {
        if (auto* found = findByID(*child, wanted))
            return found;
    }
    return nullptr;
}

}

OSStatus CreateUserPaneControl(WindowRef window, const Rect* boundsRect, UInt32, ControlRef* outControl)
{
    HIControl* control = nullptr;
    return createControl(window, boundsRect, kControlKindUserPane, outControl, &control);
}

OSStatus CreateStaticTextControl(WindowRef window, const Rect* boundsRect, CFStringRef text, const ControlFontStyleRec*,
    ControlRef* outControl)
{
    HIControl* control = nullptr;
    OSStatus status = createControl(window, boundsRect, kControlKindStaticText, outControl, &control);
    if (status == noErr)
        control->setText(StandIn::toUTF8(text));
    return status;
}

OSStatus CreateEditTextControl(WindowRef window, const Rect* boundsRect, CFStringRef text, Boolean isPassword, Boolean,
    const ControlFontStyleRec*, ControlRef* outControl)
{
    HIControl* control = nullptr;
    OSStatus status = createControl(window, boundsRect, kControlKindEditUnicodeText, outControl, &control);
    if (status == noErr) {
        control->setText(StandIn::toUTF8(text));
        control->password = isPassword;
    }
    return status;
}

OSStatus CreatePopupButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt16, Boolean, SInt16, SInt16,
    Style, ControlRef* outControl)
{
    HIControl* control = nullptr;
    OSStatus status = createControl(window, boundsRect, kControlKindPopupButton, outControl, &control);
    if (status == noErr)
        setTitle(*control, title);
    return status;
}

namespace {

OSStatus createButton(WindowRef window, const Rect* boundsRect, OSType kind, CFStringRef title, SInt32 initialValue,
    ControlRef* outControl)
{
    HIControl* control = nullptr;
    OSStatus status = createControl(window, boundsRect, kind, outControl, &control);
    if (status != noErr)
        return status;
    setTitle(*control, title);
    if (kind != kControlKindPushButton)
        control->maximum = kControlCheckBoxMixedValue;
    control->setValue(initialValue);
    return noErr;
}

}

OSStatus CreateRadioButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt32 initialValue, Boolean,
    ControlRef* outControl)
{
    return createButton(window, boundsRect, kControlKindRadioButton, title, initialValue, outControl);
}

OSStatus CreateCheckBoxControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt32 initialValue, Boolean,
    ControlRef* outControl)
{
    return createButton(window, boundsRect, kControlKindCheckBox, title, initialValue, outControl);
}

OSStatus CreatePushButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, ControlRef* outControl)
{
    return createButton(window, boundsRect, kControlKindPushButton, title, 0, outControl);
}

void DisposeControl(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    if (!object || !object->parent)
        return;
    auto& siblings = object->parent->children;
    auto owned = std::move(object->slotInParent());
    siblings.erase(std::find(siblings.begin(), siblings.end(), nullptr));
}

OSStatus GetRootControl(WindowRef window, ControlRef* outControl)
{
    auto* object = _HIWindowFromRef(window);
    if (!object)
        return errInvalidWindowRef;
    if (!outControl)
        return paramErr;
    *outControl = _HIRefFromControl(object->root.get());
    return noErr;
}

WindowRef GetControlOwner(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    return object ? _HIRefFromWindow(object->window) : nullptr;
}

OSStatus GetSuperControl(ControlRef control, ControlRef* outParent)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (!outParent)
        return paramErr;
    if (!object->parent)
        return errUnknownControl;
    *outParent = _HIRefFromControl(object->parent);
    return noErr;
}

OSStatus CountSubControls(ControlRef control, UInt16* outNumChildren)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (!outNumChildren)
        return paramErr;
    *outNumChildren = static_cast<UInt16>(std::min<size_t>(object->children.size(), UINT16_MAX));
    return noErr;
}

OSStatus GetIndexedSubControl(ControlRef control, UInt16 index, ControlRef* outSubControl)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (!outSubControl || index < 1 || index > object->children.size())
        return paramErr;
    *outSubControl = _HIRefFromControl(object->children[index - 1].get());
    return noErr;
}

OSStatus EmbedControl(ControlRef control, ControlRef container)
{
    auto* object = _HIControlFromRef(control);
    auto* into = _HIControlFromRef(container);
    if (!object || !into)
        return errInvalidControlRef;
    if (!object->parent)
        return errCantEmbedRoot;
    if (isDescendantOrSelf(into, object))
        return errCantEmbedIntoSelf;
    if (into->kind != kControlKindUserPane && into->kind != kControlKindRoot)
        return errControlIsNotEmbedder;
    if (object->parent == into)
        return noErr;
    auto& oldSiblings = object->parent->children;
    auto owned = std::move(object->slotInParent());
    oldSiblings.erase(std::find(oldSiblings.begin(), oldSiblings.end(), nullptr));
    owned->parent = into;
    owned->setWindow(into->window);
    into->children.push_back(std::move(owned));
    return noErr;
}

OSStatus GetControlKind(ControlRef control, ControlKind* outKind)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (!outKind)
        return paramErr;
    *outKind = { kControlKindSignatureApple, object->kind };
    return noErr;
}

OSStatus SetControlID(ControlRef control, const ControlID* inID)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (!inID)
        return paramErr;
    object->id = *inID;
    return noErr;
}

OSStatus GetControlID(ControlRef control, ControlID* outID)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (!outID)
        return paramErr;
    *outID = object->id;
    return noErr;
}

OSStatus GetControlByID(WindowRef window, const ControlID* inID, ControlRef* outControl)
{
    if (!outControl)
        return paramErr;
    *outControl = nullptr;
    auto* object = _HIWindowFromRef(window);
    if (!object)
        return errInvalidWindowRef;
    if (!inID)
        return paramErr;
    HIControl* found = findByID(*object->root, *inID);
    *outControl = _HIRefFromControl(found);
    return found ? OSStatus(noErr) : OSStatus(errUnknownControl);
}

OSStatus SetControlCommandID(ControlRef control, UInt32 commandID)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    object->commandID = commandID;
    return noErr;
}

OSStatus GetControlCommandID(ControlRef control, UInt32* outCommandID)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (!outCommandID)
        return paramErr;
    *outCommandID = object->commandID;
    return noErr;
}

OSStatus SetControlTitleWithCFString(ControlRef control, CFStringRef title)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    setTitle(*object, title);
    return noErr;
}

OSStatus CopyControlTitleAsCFString(ControlRef control, CFStringRef* outTitle)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (!outTitle)
        return paramErr;
    *outTitle = object->title ? static_cast<CFStringRef>(CFRetain(object->title)) : CFSTR("");
    return noErr;
}

void HideControl(ControlRef control)
{
    SetControlVisibility(control, false, true);
}

void ShowControl(ControlRef control)
{
    SetControlVisibility(control, true, true);
}

OSStatus SetControlVisibility(ControlRef control, Boolean visible, Boolean draw)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    object->visible = visible;
    if (visible && draw)
        Draw1Control(control);
    return noErr;
}

Boolean IsControlVisible(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    return object && object->effectivelyVisible();
}

OSStatus EnableControl(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    object->enabled = true;
    return noErr;
}

OSStatus DisableControl(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    object->enabled = false;
    return noErr;
}

Boolean IsControlEnabled(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    return object && object->effectivelyEnabled();
}

void Draw1Control(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    if (!object || !object->effectivelyVisible())
        return;
    EventRef event = nullptr;
    if (CreateEvent(kCFAllocatorDefault, kEventClassControl, kEventControlDraw, 0, kEventAttributeNone, &event) != noErr)
        return;
    SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof control, &control);
    SendEventToEventTarget(event, GetControlEventTarget(control));
    ReleaseEvent(event);
}

Rect* GetControlBounds(ControlRef control, Rect* outBounds)
{
    auto* object = _HIControlFromRef(control);
    if (object && outBounds)
        *outBounds = object->bounds;
    return outBounds;
}

void SetControlBounds(ControlRef control, const Rect* bounds)
{
    auto* object = _HIControlFromRef(control);
    if (object && bounds)
        object->bounds = *bounds;
}

void MoveControl(ControlRef control, SInt16 h, SInt16 v)
{
    if (auto* object = _HIControlFromRef(control))
        object->offset(h - object->bounds.left, v - object->bounds.top);
}

void SizeControl(ControlRef control, SInt16 width, SInt16 height)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return;
    object->bounds.right = static_cast<SInt16>(object->bounds.left + width);
    object->bounds.bottom = static_cast<SInt16>(object->bounds.top + height);
}

SInt16 GetControlValue(ControlRef control)
{
    return static_cast<SInt16>(std::clamp<SInt32>(GetControl32BitValue(control), SHRT_MIN, SHRT_MAX));
}

void SetControlValue(ControlRef control, SInt16 value)
{
    SetControl32BitValue(control, value);
}

SInt32 GetControl32BitValue(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    return object ? object->value : 0;
}

void SetControl32BitValue(ControlRef control, SInt32 value)
{
    if (auto* object = _HIControlFromRef(control))
        object->setValue(value);
}

SInt32 GetControl32BitMinimum(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    return object ? object->minimum : 0;
}

void SetControl32BitMinimum(ControlRef control, SInt32 minimum)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return;
    object->minimum = minimum;
    object->setValue(object->value);
}

SInt32 GetControl32BitMaximum(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    return object ? object->maximum : 0;
}

void SetControl32BitMaximum(ControlRef control, SInt32 maximum)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return;
    object->maximum = maximum;
    object->setValue(object->value);
}
