// Stand-in only: interface-definition files (InterfaceDefinitionFormat.md) as a plain description
// of windows and their controls, and the windows built from it. The nib calls of
// IBCarbonRuntime.h sit on top; the three calls below are exported as a seam for the tests and the
// fuzzer, which parse text and build windows without a bundle around them.
#pragma once

#include <HIToolbox/Controls.h>
#include <HIToolbox/IBCarbonRuntime.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace StandIn::InterfaceDefinition {

// Larger files are refused before they are parsed, so that a stray file cannot tie up the loader.
constexpr size_t kMaximumFileSize = 1024 * 1024;
// Levels of controls within controls; the window's own level does not count.
constexpr int kMaximumNesting = 16;

struct Control {
    // The toolbox's kind of control (ControlKindsStandIn.h).
    OSType kind { kControlKindUserPane };
    // Where the control is defined, for messages.
    int line { 0 };
    // Index of the embedding control in the window's list, which always comes earlier;
    // -1 for the window's root control.
    int parent { -1 };
    std::optional<ControlID> id;
    Rect bounds {};
    bool visible { true };
    bool enabled { true };
    UInt32 command { 0 };
    // Button and popup titles.
    std::string title;
    // Static and edit text.
    std::string text;
    bool password { false };
    // Popup items, and the items that are hidden, counted from 1 as menus count them.
    std::vector<std::string> items;
    std::vector<int> hiddenItems;
    SInt32 value { 0 };
    bool isDefault { false };
    bool isCancel { false };
};

struct Window {
    std::string name;
    int line { 0 };
    WindowClass windowClass { kDocumentWindowClass };
    // Content area in global coordinates.
    Rect bounds {};
    std::string title;
    // Every control after the control it is embedded in.
    std::vector<Control> controls;
};

struct Description {
    std::vector<Window> windows;

    PLATFORM_EXPORT const Window* window(std::string_view name) const;
};

struct Error {
    // 0 when the fault lies with the file as a whole (its size).
    int line { 0 };
    std::string message;
};

struct ParseResult {
    Description description;
    // Set when the text is malformed; the description is then empty.
    std::optional<Error> error;
};

PLATFORM_EXPORT ParseResult parse(std::string_view text);

// A new, hidden window holding the described controls. On failure nothing is left alive.
PLATFORM_EXPORT OSStatus buildWindow(const Window& window, WindowRef* outWindow);

// The file behind CreateNibReferenceWithCFBundle: kIBCarbonRuntimeCantFindNibFile when it cannot
// be opened as a regular file, kIBCarbonRuntimeMalformedNibFile (with "<path>:<line>: <message>"
// on stderr) when it does not parse.
// With a bundle, every title, text and menu item is looked up in the bundle's strings table of
// that name (the English text is the key), so that a localization needs no copy of the layout.
PLATFORM_EXPORT OSStatus createNibReferenceFromFile(const char* path, IBNibRef* outNibRef, CFBundleRef localizingBundle = nullptr,
    CFStringRef stringsTable = nullptr);

}
