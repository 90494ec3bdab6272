#include "dialog/WindowDump.h"

#include "program/PrintableText.h"
#include "dialog/WindowControls.h"

#include <CoreFoundation/CFStandIn.h>
#include <HIToolbox/ControlKindsStandIn.h>

namespace {

const char* kindName(ControlRef control)
{
    ControlKind kind = {};
    GetControlKind(control, &kind);
    const StandIn::ControlKindName* names = StandIn::controlKindOf(kind.kind);
    return names ? names->name : "control";
}

// The text between double quotes, written as printableText writes it (once: a text made
// printable already keeps its escapes as they are), with a double quote as \".
std::string quoted(const std::string& text, bool printable)
{
    std::string out = "\"";
    for (char c : printable ? text : printableText(text)) {
        if (c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string stringOf(CFStringRef string)
{
    std::string text = StandIn::toUTF8(string);
    if (string)
        CFRelease(string);
    return text;
}

// What a person reads on a control: a field's text (a concealed one only by its length), a
// button's title, a popup's chosen item.
std::string shownText(ControlRef control)
{
    ControlKind kind = {};
    GetControlKind(control, &kind);
    if (kind.kind == kControlKindEditUnicodeText || kind.kind == kControlKindEditText || kind.kind == kControlKindStaticText) {
        Size size = 0;
        if (GetControlData(control, kControlEntireControl, kControlEditTextPasswordTag, 0, nullptr, &size) == noErr) {
            CFStringRef clear = nullptr;
            GetControlData(control, kControlEntireControl, kControlEditTextPasswordCFStringTag, sizeof clear, &clear, nullptr);
            CFIndex length = CFStringGetLength(clear);
            if (clear)
                CFRelease(clear);
            return "(concealed, " + std::to_string(length) + " characters)";
        }
        return quoted(controlText(control, kControlEditTextTextTag), textIsPrintable(control));
    }
    if (kind.kind == kControlKindPopupButton) {
        MenuRef menu = nullptr;
        GetControlData(control, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr);
        CFStringRef item = nullptr;
        CopyMenuItemTextAsCFString(menu, static_cast<MenuItemIndex>(GetControl32BitValue(control)), &item);
        return quoted(stringOf(item), false);
    }
    if (kind.kind == kControlKindUserPane)
        return "";
    CFStringRef title = nullptr;
    CopyControlTitleAsCFString(control, &title);
    return quoted(stringOf(title), false);
}

}

std::vector<std::string> dumpWindow(WindowRef window)
{
    std::vector<std::string> lines;
    forEachControl(window, [&lines](ControlRef control) {
        ControlID controlID = {};
        GetControlID(control, &controlID);
        Rect bounds = {};
        GetControlBounds(control, &bounds);
        std::string number = controlID.signature == kPaneControlSignature ? std::to_string(controlID.id) : "-";
        std::string line = "control " + number + " " + kindName(control) + " " + (IsControlVisible(control) ? "visible" : "hidden") + " "
            + (IsControlEnabled(control) ? "enabled" : "disabled") + " " + std::to_string(GetControl32BitValue(control)) + " "
            + std::to_string(bounds.top) + "," + std::to_string(bounds.left) + "," + std::to_string(bounds.bottom) + ","
            + std::to_string(bounds.right);
        std::string text = shownText(control);
        if (!text.empty())
            line += " " + text;
        lines.push_back(std::move(line));
    });
    return lines;
}
