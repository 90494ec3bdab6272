// Stand-in only: what a person does to a dialog. Scripts, the screen module and tests all
// act through these calls, which behave as a user's clicks and keystrokes do: a click sends
// the control-hit event (and a push button's command), a typed key passes the field's key
// filter, edits the text and ends with a raw key-up event to the window.
//
// An action a person could not take (a hidden or disabled control, a hidden menu item, a
// window that is not shown or lies behind an application-modal window, a field without the
// keyboard focus) is refused with kUserActionRefusedErr and a message saying why.
#pragma once

#include <HIToolbox/HIToolbox.h>

#include <string>

namespace StandIn {

enum {
    kUserActionRefusedErr = -30610,
};

enum class Key {
    Backspace,
    Delete,
    LeftArrow,
    RightArrow,
    UpArrow,
    DownArrow,
    Tab,
    Return,
};

// error, when not null, receives the reason of a refusal.
PLATFORM_EXPORT OSStatus clickControl(ControlRef control, std::string* error);
PLATFORM_EXPORT OSStatus choosePopupItem(ControlRef popup, MenuItemIndex item, std::string* error);
// Types text into the window's focused field, one key per character. Tab, newline, backspace
// and delete characters act as those keys.
PLATFORM_EXPORT OSStatus typeText(WindowRef window, const std::string& text, std::string* error);
PLATFORM_EXPORT OSStatus pressKey(WindowRef window, Key key, std::string* error);
// Byte offsets into the field's UTF-8 text; the field takes the focus.
PLATFORM_EXPORT OSStatus selectRange(ControlRef field, int start, int end, std::string* error);
PLATFORM_EXPORT OSStatus sendCommand(WindowRef window, UInt32 commandID, std::string* error);

// The name a message gives a control: its kind and identifier.
PLATFORM_EXPORT std::string describeControl(ControlRef control);

}
