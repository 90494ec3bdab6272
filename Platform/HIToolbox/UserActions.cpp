#include <HIToolbox/ControlKindsStandIn.h>
#include <HIToolbox/UserActionsStandIn.h>

#include <HIToolbox/HIToolboxPrivate.h>

#include <Base/Unicode.h>
#include <CoreFoundation/CFStringPrivate.h>

#include <algorithm>

namespace {

using StandIn::UTF8::nextCharacter;
using StandIn::UTF8::previousCharacter;

struct KeyStroke {
    SInt16 charCode;
    SInt16 keyCode;
    // What the key inserts; empty for keys that edit or move instead.
    std::string text;
};

enum : SInt16 {
    kBackspaceCharCode = 0x08,
    kTabCharCode = 0x09,
    kReturnCharCode = 0x0D,
    kLeftArrowCharCode = 0x1C,
    kRightArrowCharCode = 0x1D,
    kUpArrowCharCode = 0x1E,
    kDownArrowCharCode = 0x1F,
    kDeleteCharCode = 0x7F,
};

KeyStroke strokeFor(StandIn::Key key)
{
    switch (key) {
    case StandIn::Key::Backspace: return { kBackspaceCharCode, 51, {} };
    case StandIn::Key::Delete: return { kDeleteCharCode, 117, {} };
    case StandIn::Key::LeftArrow: return { kLeftArrowCharCode, 123, {} };
    case StandIn::Key::RightArrow: return { kRightArrowCharCode, 124, {} };
    case StandIn::Key::UpArrow: return { kUpArrowCharCode, 126, {} };
    case StandIn::Key::DownArrow: return { kDownArrowCharCode, 125, {} };
    case StandIn::Key::Tab: return { kTabCharCode, 48, {} };
    case StandIn::Key::Return: return { kReturnCharCode, 36, {} };
    }
    return { 0, 0, {} };
}

OSStatus refuse(std::string* error, std::string message)
{
    if (error)
        *error = std::move(message);
    return StandIn::kUserActionRefusedErr;
}

std::string fourCharCode(OSType code)
{
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((code >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text + "'";
}

OSStatus checkWindow(HIWindow* window, std::string* error)
{
    if (!window)
        return refuse(error, "no such window");
    if (!window->visible)
        return refuse(error, "the window is not shown");
    HIWindow* modal = _HIFrontModalWindow();
    if (modal && modal != window)
        return refuse(error, "a modal window is in front of this window");
    return noErr;
}

OSStatus checkControl(HIControl* control, std::string* error)
{
    if (!control)
        return refuse(error, "no such control");
    if (OSStatus status = checkWindow(control->window, error))
        return status;
    std::string name = StandIn::describeControl(_HIRefFromControl(control));
    if (!control->effectivelyVisible())
        return refuse(error, name + " is hidden");
    if (!control->effectivelyEnabled())
        return refuse(error, name + " is disabled");
    return noErr;
}

OSStatus sendControlHit(ControlRef control)
{
    EventRef event = nullptr;
    CreateEvent(kCFAllocatorDefault, kEventClassControl, kEventControlHit, 0, kEventAttributeNone, &event);
    SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof control, &control);
    OSStatus status = SendEventToEventTarget(event, GetControlEventTarget(control));
    ReleaseEvent(event);
    return status;
}

void sendCommandEvent(EventTargetRef target, UInt32 commandID)
{
    HICommand command = {};
    command.commandID = commandID;
    EventRef event = nullptr;
    CreateEvent(kCFAllocatorDefault, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeNone, &event);
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    SendEventToEventTarget(event, target);
    ReleaseEvent(event);
}

void sendKeyUp(WindowRef window, const KeyStroke& stroke)
{
    if (!_HIWindowFromRef(window))
        return;
    char charCode = static_cast<char>(stroke.charCode & 0xFF);
    UInt32 keyCode = static_cast<UInt32>(stroke.keyCode);
    EventRef event = nullptr;
    CreateEvent(kCFAllocatorDefault, kEventClassKeyboard, kEventRawKeyUp, 0, kEventAttributeNone, &event);
    SetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, sizeof charCode, &charCode);
    SetEventParameter(event, kEventParamKeyCode, typeUInt32, sizeof keyCode, &keyCode);
    SendEventToEventTarget(event, GetWindowEventTarget(window));
    ReleaseEvent(event);
}

void moveFocusToNextField(HIWindow& window)
{
    std::vector<HIControl*> fields;
    auto collect = [&fields](auto& self, HIControl& control) -> void {
        if (control.isEditField() && control.effectivelyVisible() && control.effectivelyEnabled())
            fields.push_back(&control);
        for (auto& child : control.children)
            self(self, *child);
    };
    collect(collect, *window.root);
    if (fields.empty())
        return;
    auto current = std::find(fields.begin(), fields.end(), window.focus);
    window.focus = (current == fields.end() || current + 1 == fields.end()) ? fields.front() : *(current + 1);
}

// What the field does with a key that its filter let through.
void applyKey(HIControl& field, const KeyStroke& stroke)
{
    std::string& text = field.text;
    size_t& start = field.selectionStart;
    size_t& end = field.selectionEnd;
    bool selected = start != end;
    switch (stroke.charCode) {
    case kBackspaceCharCode:
        if (!selected)
            start = previousCharacter(text, start);
        text.erase(start, end - start);
        end = start;
        return;
    case kDeleteCharCode:
        if (!selected)
            end = nextCharacter(text, end);
        text.erase(start, end - start);
        end = start;
        return;
    case kLeftArrowCharCode:
        start = end = selected ? start : previousCharacter(text, start);
        return;
    case kRightArrowCharCode:
        start = end = selected ? end : nextCharacter(text, end);
        return;
    case kUpArrowCharCode:
        start = end = 0;
        return;
    case kDownArrowCharCode:
        start = end = text.size();
        return;
    case kTabCharCode:
        moveFocusToNextField(*field.window);
        return;
    case kReturnCharCode: {
        // Return clicks the window's default button, as in any dialog.
        HIControl* button = field.window->defaultButton;
        if (button && checkControl(button, nullptr) == noErr)
            StandIn::clickControl(_HIRefFromControl(button), nullptr);
        return;
    }
    default:
        text.replace(start, end - start, stroke.text);
        start = end = start + stroke.text.size();
        return;
    }
}

OSStatus focusedField(WindowRef window, HIControl** field, std::string* error)
{
    auto* object = _HIWindowFromRef(window);
    if (OSStatus status = checkWindow(object, error))
        return status;
    if (!object->focus)
        return refuse(error, "no field has the keyboard focus");
    if (OSStatus status = checkControl(object->focus, error))
        return status;
    *field = object->focus;
    return noErr;
}

void typeKey(WindowRef window, HIControl& field, const KeyStroke& stroke)
{
    ControlRef fieldRef = _HIRefFromControl(&field);
    bool passed = true;
    if (field.keyFilter) {
        SInt16 keyCode = stroke.keyCode;
        SInt16 charCode = stroke.charCode;
        EventModifiers modifiers = 0;
        passed = field.keyFilter(fieldRef, &keyCode, &charCode, &modifiers) == kControlKeyFilterPassKey;
    }
    // The filter runs the caller's code: the field may be gone afterwards.
    if (passed && _HIControlFromRef(fieldRef))
        applyKey(field, stroke);
    sendKeyUp(window, stroke);
}

// The keys of a text: one per character, with the control characters that stand for keys.
bool strokesForText(const std::string& text, std::vector<KeyStroke>& strokes, std::string* error)
{
    auto units = _CFDecode(text, kCFStringEncodingUTF8);
    if (!units) {
        refuse(error, "the text is not valid UTF-8");
        return false;
    }
    size_t byte = 0;
    for (size_t i = 0; i < units->size(); ++i) {
        char16_t unit = (*units)[i];
        size_t length = nextCharacter(text, byte) - byte;
        std::string character = text.substr(byte, length);
        byte += length;
        if (unit >= 0xD800 && unit <= 0xDBFF)
            ++i;
        switch (unit) {
        case '\b': strokes.push_back(strokeFor(StandIn::Key::Backspace)); continue;
        case 0x7F: strokes.push_back(strokeFor(StandIn::Key::Delete)); continue;
        case '\t': strokes.push_back(strokeFor(StandIn::Key::Tab)); continue;
        case '\n':
        case '\r': strokes.push_back(strokeFor(StandIn::Key::Return)); continue;
        default: break;
        }
        if (unit < 0x20) {
            refuse(error, "the text holds a control character that no key types");
            return false;
        }
        // A character beyond the first 65,536 arrives as its first UTF-16 unit.
        strokes.push_back({ static_cast<SInt16>(unit), 0, character });
    }
    return true;
}

}

std::string StandIn::describeControl(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return "no control";
    const StandIn::ControlKindName* kind = StandIn::controlKindOf(object->kind);
    std::string name = kind ? kind->words : "control";
    // Appended piece by piece: `" " + std::string` trips GCC 12's -Wrestrict false positive at -O3.
    if (object->id.signature || object->id.id)
        name.append(" ").append(fourCharCode(object->id.signature)).append(" ").append(std::to_string(object->id.id));
    else if (object->title)
        name.append(" \"").append(StandIn::toUTF8(object->title)).append("\"");
    return name;
}

OSStatus StandIn::clickControl(ControlRef control, std::string* error)
{
    auto* object = _HIControlFromRef(control);
    if (OSStatus status = checkControl(object, error))
        return status;
    switch (object->kind) {
    case kControlKindCheckBox:
        object->setValue(object->value == kControlCheckBoxCheckedValue ? 0 : 1);
        break;
    case kControlKindRadioButton:
        object->setValue(kControlRadioButtonCheckedValue);
        break;
    case kControlKindPopupButton:
        return refuse(error, StandIn::describeControl(control) + " needs an item to choose");
    case kControlKindEditText:
    case kControlKindEditUnicodeText:
        object->window->focus = object;
        break;
    default:
        break;
    }
    UInt32 commandID = object->commandID;
    OSStatus handled = sendControlHit(control);
    // A button's command goes out only when no handler took the hit itself.
    if (handled == eventNotHandledErr && commandID && _HIControlFromRef(control))
        sendCommandEvent(GetControlEventTarget(control), commandID);
    return noErr;
}

OSStatus StandIn::choosePopupItem(ControlRef popup, MenuItemIndex item, std::string* error)
{
    auto* object = _HIControlFromRef(popup);
    if (OSStatus status = checkControl(object, error))
        return status;
    if (object->kind != kControlKindPopupButton)
        return refuse(error, StandIn::describeControl(popup) + " is not a popup button");
    MenuItemAttributes attributes = 0;
    if (GetMenuItemAttributes(object->menu, item, &attributes) != noErr)
        return refuse(error, StandIn::describeControl(popup) + " has no item " + std::to_string(item));
    if (attributes & kMenuItemAttrHidden)
        return refuse(error, "item " + std::to_string(item) + " of " + StandIn::describeControl(popup) + " is hidden");
    if (attributes & kMenuItemAttrDisabled)
        return refuse(error, "item " + std::to_string(item) + " of " + StandIn::describeControl(popup) + " is disabled");
    object->setValue(item);
    sendControlHit(popup);
    return noErr;
}

OSStatus StandIn::typeText(WindowRef window, const std::string& text, std::string* error)
{
    HIControl* field = nullptr;
    if (OSStatus status = focusedField(window, &field, error))
        return status;
    std::vector<KeyStroke> strokes;
    if (!strokesForText(text, strokes, error))
        return StandIn::kUserActionRefusedErr;
    for (const auto& stroke : strokes) {
        // Each key goes to whichever field has the focus now: Tab moves it.
        if (OSStatus status = focusedField(window, &field, error))
            return status;
        typeKey(window, *field, stroke);
    }
    return noErr;
}

OSStatus StandIn::pressKey(WindowRef window, StandIn::Key key, std::string* error)
{
    HIControl* field = nullptr;
    if (OSStatus status = focusedField(window, &field, error))
        return status;
    typeKey(window, *field, strokeFor(key));
    return noErr;
}

OSStatus StandIn::selectRange(ControlRef field, int start, int end, std::string* error)
{
    auto* object = _HIControlFromRef(field);
    if (OSStatus status = checkControl(object, error))
        return status;
    if (!object->isEditField())
        return refuse(error, StandIn::describeControl(field) + " is not an edit field");
    object->window->focus = object;
    ControlEditTextSelectionRec selection = {
        static_cast<SInt16>(std::clamp(start, 0, static_cast<int>(INT16_MAX))),
        static_cast<SInt16>(std::clamp(end, 0, static_cast<int>(INT16_MAX))),
    };
    SetControlData(field, kControlEntireControl, kControlEditTextSelectionTag, sizeof selection, &selection);
    return noErr;
}

OSStatus StandIn::sendCommand(WindowRef window, UInt32 commandID, std::string* error)
{
    if (OSStatus status = checkWindow(_HIWindowFromRef(window), error))
        return status;
    sendCommandEvent(GetWindowEventTarget(window), commandID);
    return noErr;
}
