// Control data by tag, and control properties.
#include <HIToolbox/HIToolboxPrivate.h>

#include <algorithm>
#include <cstring>

namespace {

bool holdsText(const HIControl& control)
{
    return control.kind == kControlKindStaticText || control.kind == kControlKindEditText
        || control.kind == kControlKindEditUnicodeText;
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

}

OSStatus SetControlData(ControlRef control, ControlPartCode, ControlDataTag tag, Size size, const void* data)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (size < 0 || (size > 0 && !data))
        return paramErr;
    if (tag == kControlEditTextTextTag && holdsText(*object)) {
        object->text.assign(static_cast<const char*>(data), size);
        return noErr;
    }
    if (tag == kControlPopupButtonMenuRefTag && object->kind == kControlKindPopupButton) {
        if (size != sizeof(MenuRef))
            return errDataSizeMismatch;
        MenuRef menu;
        memcpy(&menu, data, sizeof menu);
        auto* newMenu = _HIMenuFromRef(menu);
        if (menu && !newMenu)
            return errInvalidMenuRef;
        if (menu)
            RetainMenu(menu);
        if (object->menu)
            ReleaseMenu(object->menu);
        object->menu = menu;
        object->minimum = newMenu && !newMenu->items.empty() ? 1 : 0;
        object->maximum = newMenu ? static_cast<SInt32>(newMenu->items.size()) : 0;
        object->setValue(object->value);
        return noErr;
    }
    return errDataNotSupported;
}

OSStatus GetControlData(ControlRef control, ControlPartCode, ControlDataTag tag, Size bufferSize, void* buffer, Size* outActualSize)
{
    auto* object = _HIControlFromRef(control);
    if (!object)
        return errInvalidControlRef;
    if (tag == kControlEditTextTextTag && holdsText(*object))
        return copyOut(object->text.data(), static_cast<Size>(object->text.size()), bufferSize, buffer, outActualSize);
    if (tag == kControlPopupButtonMenuRefTag && object->kind == kControlKindPopupButton) {
        if (bufferSize != sizeof(MenuRef) || !buffer)
            return errDataSizeMismatch;
        return copyOut(&object->menu, sizeof(MenuRef), bufferSize, buffer, outActualSize);
    }
    return errDataNotSupported;
}

OSStatus GetControlDataSize(ControlRef control, ControlPartCode part, ControlDataTag tag, Size* outMaxSize)
{
    if (!outMaxSize)
        return paramErr;
    return GetControlData(control, part, tag, 0, nullptr, outMaxSize);
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
