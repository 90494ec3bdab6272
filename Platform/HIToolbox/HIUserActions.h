// Stand-in only: what a person does to a dialog. Scripts, the on-screen front end and tests all
// act through these calls, which behave as a user's clicks and keystrokes do: a click sends
// the control-hit event (and a push button's command), a typed key passes the field's key
// filter, edits the text and ends with a raw key-up event to the window.
//
// An action a person could not take (a hidden or disabled control, a hidden menu item, a
// window that is not shown or lies behind an application-modal window, a field without the
// keyboard focus) is refused with kHIUserActionRefusedErr and a message saying why.
#pragma once

#include <HIToolbox/HIToolbox.h>

#include <string>

enum {
    kHIUserActionRefusedErr = -30610,
};

enum class HIKey {
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
OSStatus HIUserClickControl(ControlRef control, std::string* error);
OSStatus HIUserChoosePopupItem(ControlRef popup, MenuItemIndex item, std::string* error);
// Types text into the window's focused field, one key per character. Tab, newline, backspace
// and delete characters act as those keys.
OSStatus HIUserTypeText(WindowRef window, const std::string& text, std::string* error);
OSStatus HIUserPressKey(WindowRef window, HIKey key, std::string* error);
// Byte offsets into the field's UTF-8 text; the field takes the focus.
OSStatus HIUserSelectRange(ControlRef field, int start, int end, std::string* error);
OSStatus HIUserSendCommand(WindowRef window, UInt32 commandID, std::string* error);

// The name a message gives a control: its kind and identifier.
std::string HIDescribeControl(ControlRef control);
