// Control data by tag, and control properties.
#include <HIToolbox/HIToolboxPrivate.h>

#include <Base/Unicode.h>
#include <CoreFoundation/CFStringPrivate.h>

#include <algorithm>
#include <cstring>

namespace {

bool holdsText(const HIControl& control)
{
    return control.kind == kControlKindStaticText || control.isEditField();
}

// What a password field shows instead of its text: one bullet per character.
std::string bullets(const std::string& text)
{
    std::string shown;
    for (size_t count = StandIn::UTF8::characterCount(text); count > 0; --count)
        shown += "\xE2\x80\xA2";
    return shown;
}

// The text a tag reads: the clear text through the password tags (password fields only),
// bullets through the plain tags of a password field.
const std::string* textForTag(const HIControl& control, ControlDataTag tag, std::string& scratch)
{
    bool passwordTag = tag == kControlEditTextPasswordTag || tag == kControlEditTextPasswordCFStringTag;
    if (passwordTag)
        return control.password ? &control.text : nullptr;
    if (control.password) {
        scratch = bullets(control.text);
        return &scratch;
    }
    return &control.text;
}

bool isTextTag(ControlDataTag tag)
{
    return tag == kControlEditTextTextTag || tag == kControlEditTextPasswordTag;
}

bool isStringTag(ControlDataTag tag)
{
    return tag == kControlEditTextCFStringTag || tag == kControlEditTextPasswordCFStringTag;
}

// Copies as much of data as fits; *outActualSize gets the whole size.
OSStatus copyOut(const void* data, Size size, Size bufferSize, void* buffer, Size* outActualSize)
{
    if (bufferSize < 0 || (bufferSize > 0 && !buffer))
        return paramErr;
    if (buffer && size > 0)
        memcpy(buffer, data, std::min(size, bufferSize));
    if (outActualSize)
        *outActualSize = size;
    return noErr;
}

// Data of a fixed size: the buffer must be exactly that size.
template<typename T>
OSStatus copyOutFixed(const T& value, Size bufferSize, void* buffer, Size* outActualSize)
{
    if (!buffer) {
        if (outActualSize)
            *outActualSize = sizeof value;
        return noErr;
    }
    if (bufferSize != sizeof value)
        return errDataSizeMismatch;
    return copyOut(&value, sizeof value, bufferSize, buffer, outActualSize);
}

template<typename T>
OSStatus readFixed(Size size, const void* data, T& value)
{
    if (size != sizeof value)
        return errDataSizeMismatch;
    memcpy(&value, data, sizeof value);
    return noErr;
}

size_t snapToCharacter(const std::string& text, SInt16 offset)
{
    return StandIn::UTF8::characterStart(text, std::clamp<long>(offset, 0, static_cast<long>(text.size())));
}

OSStatus setPopupMenu(HIControl& control, MenuRef menu)
{
    auto* newMenu = _HIMenuFromRef(menu);
    if (menu && !newMenu)
        return errInvalidMenuRef;
    if (menu)
        RetainMenu(menu);
    if (control.menu)
        ReleaseMenu(control.menu);
    control.menu = menu;
    control.minimum = newMenu && !newMenu->items.empty() ? 1 : 0;
    control.maximum = newMenu ? static_cast<SInt32>(newMenu->items.size()) : 0;
    control.setValue(control.value);
    return noErr;
}

OSStatus setText(HIControl& control, ControlDataTag tag, std::string text)
{
    if ((tag == kControlEditTextPasswordTag || tag == kControlEditTextPasswordCFStringTag) && !control.password)
        return errDataNotSupported;
    // The system encoding is UTF-8: bytes that are not valid UTF-8 are no text.
    if (!_CFDecode(text, kCFStringEncodingUTF8))
        return paramErr;
    control.setText(std::move(text));
    return noErr;
}

}

OSStatus SetControlData(ControlRef control, ControlPartCode, ControlDataTag tag, Size size, const void* data)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (size < 0 || (size > 0 && !data))
        return paramErr;
    if (holdsText(*object) && isTextTag(tag))
        return setText(*object, tag, std::string(static_cast<const char*>(data), size));
    if (holdsText(*object) && isStringTag(tag)) {
        CFStringRef string = nullptr;
        if (OSStatus status = readFixed(size, data, string))
            return status;
        if (CFGetTypeID(string) != CFStringGetTypeID())
            return paramErr;
        return setText(*object, tag, StandIn::toUTF8(string));
    }
    if (tag == kControlFontStyleTag && holdsText(*object))
        return readFixed(size, data, object->fontStyle);
    if (object->isEditField() && tag == kControlEditTextSelectionTag) {
        ControlEditTextSelectionRec selection;
        if (OSStatus status = readFixed(size, data, selection))
            return status;
        size_t start = snapToCharacter(object->text, selection.selStart);
        size_t end = snapToCharacter(object->text, selection.selEnd);
        object->selectionStart = std::min(start, end);
        object->selectionEnd = std::max(start, end);
        return noErr;
    }
    if (object->isEditField() && tag == kControlEditTextKeyFilterTag)
        return readFixed(size, data, object->keyFilter);
    if (tag == kControlPopupButtonMenuRefTag && object->kind == kControlKindPopupButton) {
        MenuRef menu = nullptr;
        if (OSStatus status = readFixed(size, data, menu))
            return status;
        return setPopupMenu(*object, menu);
    }
    return errDataNotSupported;
}

OSStatus GetControlData(ControlRef control, ControlPartCode, ControlDataTag tag, Size bufferSize, void* buffer, Size* outActualSize)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    std::string scratch;
    if (holdsText(*object) && isTextTag(tag)) {
        const std::string* text = textForTag(*object, tag, scratch);
        if (!text)
            return errDataNotSupported;
        return copyOut(text->data(), static_cast<Size>(text->size()), bufferSize, buffer, outActualSize);
    }
    if (holdsText(*object) && isStringTag(tag)) {
        const std::string* text = textForTag(*object, tag, scratch);
        if (!text)
            return errDataNotSupported;
        if (!buffer || bufferSize != sizeof(CFStringRef))
            return errDataSizeMismatch;
        // The caller owns the string it gets.
        CFStringRef string = StandIn::createString(*text);
        return copyOut(&string, sizeof string, bufferSize, buffer, outActualSize);
    }
    if (tag == kControlFontStyleTag && holdsText(*object))
        return copyOutFixed(object->fontStyle, bufferSize, buffer, outActualSize);
    if (object->isEditField() && tag == kControlEditTextSelectionTag) {
        ControlEditTextSelectionRec selection = {
            static_cast<SInt16>(std::min<size_t>(object->selectionStart, INT16_MAX)),
            static_cast<SInt16>(std::min<size_t>(object->selectionEnd, INT16_MAX)),
        };
        return copyOutFixed(selection, bufferSize, buffer, outActualSize);
    }
    if (object->isEditField() && tag == kControlEditTextKeyFilterTag)
        return copyOutFixed(object->keyFilter, bufferSize, buffer, outActualSize);
    if (tag == kControlPopupButtonMenuRefTag && object->kind == kControlKindPopupButton)
        return copyOutFixed(object->menu, bufferSize, buffer, outActualSize);
    return errDataNotSupported;
}

OSStatus GetControlDataSize(ControlRef control, ControlPartCode part, ControlDataTag tag, Size* outMaxSize)
{
    if (!outMaxSize)
        return paramErr;
    return GetControlData(control, part, tag, 0, nullptr, outMaxSize);
}

ControlKeyFilterUPP NewControlKeyFilterUPP(ControlKeyFilterProcPtr userRoutine)
{
    return userRoutine;
}

void DisposeControlKeyFilterUPP(ControlKeyFilterUPP)
{
}

OSStatus SetControlProperty(ControlRef control, PropertyCreator creator, PropertyTag tag, UInt32 size, const void* data)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (size > 0 && !data)
        return paramErr;
    auto* bytes = static_cast<const UInt8*>(data);
    object->properties[{ creator, tag }].assign(bytes, bytes + size);
    return noErr;
}

OSStatus GetControlProperty(ControlRef control, PropertyCreator creator, PropertyTag tag, UInt32 bufferSize, UInt32* actualSize,
    void* buffer)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    auto found = object->properties.find({ creator, tag });
    if (found == object->properties.end())
        return errControlPropertyNotFound;
    const auto& bytes = found->second;
    if (bufferSize < bytes.size() || (!buffer && !bytes.empty()))
        return errDataSizeMismatch;
    if (!bytes.empty())
        memcpy(buffer, bytes.data(), bytes.size());
    if (actualSize)
        *actualSize = static_cast<UInt32>(bytes.size());
    return noErr;
}

OSStatus GetControlPropertySize(ControlRef control, PropertyCreator creator, PropertyTag tag, UInt32* size)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (!size)
        return paramErr;
    auto found = object->properties.find({ creator, tag });
    if (found == object->properties.end())
        return errControlPropertyNotFound;
    *size = static_cast<UInt32>(found->second.size());
    return noErr;
}

OSStatus RemoveControlProperty(ControlRef control, PropertyCreator creator, PropertyTag tag)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    return object->properties.erase({ creator, tag }) ? OSStatus(noErr) : OSStatus(errControlPropertyNotFound);
}
