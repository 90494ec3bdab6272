#include <HIToolbox/HIToolboxPrivate.h>

#include <climits>

LiveSet<HIMenu>& _HILiveMenus()
{
    static LiveSet<HIMenu> menus;
    return menus;
}

HIMenu* _HIMenuFromRef(MenuRef menu)
{
    auto* candidate = reinterpret_cast<HIMenu*>(menu);
    return menu && _HILiveMenus().contains(candidate) ? candidate : nullptr;
}

HIMenu::HIMenu(MenuID menuID)
    : id(menuID)
{
    _HILiveMenus().add(this);
}

HIMenu::~HIMenu()
{
    _HILiveMenus().remove(this);
    for (auto& item : items)
        CFRelease(item.text);
}

namespace {

HIMenuItem* itemAt(MenuRef menu, MenuItemIndex item)
{
    auto* object = _HIMenuFromRef(menu);
    if (!object || item < 1 || item > object->items.size())
        return nullptr;
    return &object->items[item - 1];
}

}

OSStatus CreateNewMenu(MenuID menuID, MenuAttributes, MenuRef* outMenu)
{
    if (!outMenu)
        return paramErr;
    *outMenu = _HIRefFromMenu(new HIMenu(menuID));
    return noErr;
}

OSStatus RetainMenu(MenuRef menu)
{
    auto* object = _HIMenuFromRef(menu);
    if (!object)
        return errInvalidMenuRef;
    ++object->retainCount;
    return noErr;
}

OSStatus ReleaseMenu(MenuRef menu)
{
    auto* object = _HIMenuFromRef(menu);
    if (!object)
        return errInvalidMenuRef;
    if (--object->retainCount == 0)
        delete object;
    return noErr;
}

void DisposeMenu(MenuRef menu)
{
    ReleaseMenu(menu);
}

MenuID GetMenuID(MenuRef menu)
{
    auto* object = _HIMenuFromRef(menu);
    return object ? object->id : 0;
}

OSStatus AppendMenuItemTextWithCFString(MenuRef menu, CFStringRef text, MenuItemAttributes attributes, MenuCommand commandID,
    MenuItemIndex* outNewItem)
{
    auto* object = _HIMenuFromRef(menu);
    if (!object)
        return errInvalidMenuRef;
    if (CFGetTypeID(text) != CFStringGetTypeID() || object->items.size() >= USHRT_MAX)
        return paramErr;
    object->items.push_back({ static_cast<CFStringRef>(CFRetain(text)), attributes, commandID });
    if (outNewItem)
        *outNewItem = static_cast<MenuItemIndex>(object->items.size());
    return noErr;
}

UInt16 CountMenuItems(MenuRef menu)
{
    auto* object = _HIMenuFromRef(menu);
    return object ? static_cast<UInt16>(object->items.size()) : 0;
}

OSStatus CopyMenuItemTextAsCFString(MenuRef menu, MenuItemIndex item, CFStringRef* outString)
{
    auto* entry = itemAt(menu, item);
    if (!entry)
        return _HIMenuFromRef(menu) ? menuItemNotFoundErr : errInvalidMenuRef;
    if (!outString)
        return paramErr;
    *outString = static_cast<CFStringRef>(CFRetain(entry->text));
    return noErr;
}

OSStatus GetMenuItemAttributes(MenuRef menu, MenuItemIndex item, MenuItemAttributes* outAttributes)
{
    auto* entry = itemAt(menu, item);
    if (!entry)
        return _HIMenuFromRef(menu) ? menuItemNotFoundErr : errInvalidMenuRef;
    if (!outAttributes)
        return paramErr;
    *outAttributes = entry->attributes;
    return noErr;
}

OSStatus ChangeMenuItemAttributes(MenuRef menu, MenuItemIndex item, MenuItemAttributes setTheseAttributes,
    MenuItemAttributes clearTheseAttributes)
{
    auto* entry = itemAt(menu, item);
    if (!entry)
        return _HIMenuFromRef(menu) ? menuItemNotFoundErr : errInvalidMenuRef;
    entry->attributes = (entry->attributes | setTheseAttributes) & ~clearTheseAttributes;
    return noErr;
}

OSStatus GetMenuItemCommandID(MenuRef menu, MenuItemIndex item, MenuCommand* outCommandID)
{
    auto* entry = itemAt(menu, item);
    if (!entry)
        return _HIMenuFromRef(menu) ? menuItemNotFoundErr : errInvalidMenuRef;
    if (!outCommandID)
        return paramErr;
    *outCommandID = entry->command;
    return noErr;
}
