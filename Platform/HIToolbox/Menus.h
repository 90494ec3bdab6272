// Menus: the item lists behind popup buttons.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

typedef struct OpaqueMenuRef* MenuRef;
typedef SInt16 MenuID;
typedef UInt16 MenuItemIndex;
typedef UInt32 MenuAttributes;
typedef UInt32 MenuItemAttributes;
typedef UInt32 MenuCommand;

enum {
    kMenuItemAttrDisabled = 1 << 0,
    kMenuItemAttrHidden = 1 << 5,
};

enum {
    menuItemNotFoundErr = -5620,
    errInvalidMenuRef = -5623,
};

PLATFORM_EXTERN_C_BEGIN

// The new menu has a reference count of 1.
PLATFORM_EXPORT OSStatus CreateNewMenu(MenuID menuID, MenuAttributes menuAttributes, MenuRef* outMenu);
PLATFORM_EXPORT OSStatus RetainMenu(MenuRef menu);
PLATFORM_EXPORT OSStatus ReleaseMenu(MenuRef menu);
PLATFORM_EXPORT void DisposeMenu(MenuRef menu);
PLATFORM_EXPORT MenuID GetMenuID(MenuRef menu);
PLATFORM_EXPORT OSStatus AppendMenuItemTextWithCFString(MenuRef menu, CFStringRef text, MenuItemAttributes attributes,
    MenuCommand commandID, MenuItemIndex* outNewItem);
PLATFORM_EXPORT UInt16 CountMenuItems(MenuRef menu);
// Items count from 1.
PLATFORM_EXPORT OSStatus CopyMenuItemTextAsCFString(MenuRef menu, MenuItemIndex item, CFStringRef* outString);
PLATFORM_EXPORT OSStatus GetMenuItemAttributes(MenuRef menu, MenuItemIndex item, MenuItemAttributes* outAttributes);
PLATFORM_EXPORT OSStatus ChangeMenuItemAttributes(MenuRef menu, MenuItemIndex item, MenuItemAttributes setTheseAttributes,
    MenuItemAttributes clearTheseAttributes);
PLATFORM_EXPORT OSStatus GetMenuItemCommandID(MenuRef menu, MenuItemIndex item, MenuCommand* outCommandID);

PLATFORM_EXTERN_C_END
