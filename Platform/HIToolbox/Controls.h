// Controls: the views inside a window, each with an identifier, bounds, visibility, enabling,
// a value within a range, and data reached by tag.
#pragma once

#include <Graphics/QuickDraw.h>
#include <HIToolbox/MacWindows.h>
#include <HIToolbox/Menus.h>

typedef SInt16 ControlPartCode;
typedef FourCharCode ControlDataTag;
typedef UInt32 PropertyCreator;
typedef UInt32 PropertyTag;
typedef unsigned char Style;
typedef UInt16 EventModifiers;
typedef SInt16 ControlFocusPart;
typedef SInt16 ControlKeyFilterResult;

// Decides, before an edit field handles a key, whether the key goes through.
typedef ControlKeyFilterResult (*ControlKeyFilterProcPtr)(ControlRef theControl, SInt16* keyCode, SInt16* charCode,
    EventModifiers* modifiers);
typedef ControlKeyFilterProcPtr ControlKeyFilterUPP;

struct ControlID {
    OSType signature;
    SInt32 id;
};
typedef struct ControlID ControlID;

struct ControlKind {
    OSType signature;
    OSType kind;
};
typedef struct ControlKind ControlKind;

struct ControlFontStyleRec {
    SInt16 flags;
    SInt16 font;
    SInt16 size;
    SInt16 style;
    SInt16 mode;
    SInt16 just;
    RGBColor foreColor;
    RGBColor backColor;
};
typedef struct ControlFontStyleRec ControlFontStyleRec;

// Byte offsets into an edit field's UTF-8 text, always on character boundaries.
struct ControlEditTextSelectionRec {
    SInt16 selStart;
    SInt16 selEnd;
};
typedef struct ControlEditTextSelectionRec ControlEditTextSelectionRec;

enum {
    kControlKindSignatureApple = 'appl',
    kControlKindUserPane = 'upan',
    kControlKindStaticText = 'stxt',
    kControlKindEditText = 'etxt',
    kControlKindEditUnicodeText = 'eutx',
    kControlKindPopupButton = 'popb',
    kControlKindRadioButton = 'rdio',
    kControlKindCheckBox = 'cbox',
    kControlKindPushButton = 'push',
    kControlKindRoot = 'root',
};

enum {
    kControlEntireControl = 0,
    kControlNoPart = 0,
};

enum {
    kControlFocusNoPart = 0,
    kControlFocusNextPart = -1,
    kControlFocusPrevPart = -2,
};

enum {
    kControlKeyFilterBlockKey = 0,
    kControlKeyFilterPassKey = 1,
};

// Data tags. On a password field, 'text' and 'cfst' give one bullet per character and 'pass'
// and 'pwcf' the clear text; setting any of them sets the clear text.
enum {
    kControlEditTextTextTag = 'text',
    kControlEditTextCFStringTag = 'cfst',
    kControlEditTextPasswordTag = 'pass',
    kControlEditTextPasswordCFStringTag = 'pwcf',
    kControlEditTextSelectionTag = 'sele',
    kControlEditTextKeyFilterTag = 'fltr',
    kControlStaticTextTextTag = 'text',
    kControlStaticTextCFStringTag = 'cfst',
    kControlFontStyleTag = 'font',
    kControlPopupButtonMenuHandleTag = 'mhan',
    kControlPopupButtonMenuRefTag = 'mhan',
};

enum {
    kControlCheckBoxUncheckedValue = 0,
    kControlCheckBoxCheckedValue = 1,
    kControlCheckBoxMixedValue = 2,
    kControlRadioButtonUncheckedValue = 0,
    kControlRadioButtonCheckedValue = 1,
    kControlRadioButtonMixedValue = 2,
};

enum {
    errDataNotSupported = -30583,
    errUnknownControl = -30584,
    errCouldntSetFocus = -30585,
    errControlIsNotEmbedder = -30590,
    errDataSizeMismatch = -30591,
    errCantEmbedIntoSelf = -30594,
    errCantEmbedRoot = -30595,
    errInvalidControlRef = -30596,
    errControlPropertyNotFound = -5603,
};

PLATFORM_EXTERN_C_BEGIN

// Each new control is embedded in the window's root control, visible and enabled.
PLATFORM_EXPORT OSStatus CreateUserPaneControl(WindowRef window, const Rect* boundsRect, UInt32 features, ControlRef* outControl);
PLATFORM_EXPORT OSStatus CreateStaticTextControl(WindowRef window, const Rect* boundsRect, CFStringRef text,
    const ControlFontStyleRec* style, ControlRef* outControl);
PLATFORM_EXPORT OSStatus CreateEditTextControl(WindowRef window, const Rect* boundsRect, CFStringRef text, Boolean isPassword,
    Boolean useInlineInputMethod, const ControlFontStyleRec* style, ControlRef* outControl);
// The popup's menu is given later through the 'mhan' data tag.
PLATFORM_EXPORT OSStatus CreatePopupButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt16 menuID,
    Boolean variableWidth, SInt16 titleWidth, SInt16 titleJustification, Style titleStyle, ControlRef* outControl);
PLATFORM_EXPORT OSStatus CreateRadioButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title,
    SInt32 initialValue, Boolean autoToggle, ControlRef* outControl);
PLATFORM_EXPORT OSStatus CreateCheckBoxControl(WindowRef window, const Rect* boundsRect, CFStringRef title,
    SInt32 initialValue, Boolean autoToggle, ControlRef* outControl);
PLATFORM_EXPORT OSStatus CreatePushButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, ControlRef* outControl);
// Disposes of the control, the controls embedded in it and their handlers.
PLATFORM_EXPORT void DisposeControl(ControlRef control);

PLATFORM_EXPORT OSStatus GetRootControl(WindowRef window, ControlRef* outControl);
PLATFORM_EXPORT WindowRef GetControlOwner(ControlRef control);
PLATFORM_EXPORT OSStatus GetSuperControl(ControlRef control, ControlRef* outParent);
PLATFORM_EXPORT OSStatus CountSubControls(ControlRef control, UInt16* outNumChildren);
// Children count from 1.
PLATFORM_EXPORT OSStatus GetIndexedSubControl(ControlRef control, UInt16 index, ControlRef* outSubControl);
// Moves the control, with everything embedded in it, into container, which may be in another
// window; the control then belongs to the container's window.
PLATFORM_EXPORT OSStatus EmbedControl(ControlRef control, ControlRef container);
PLATFORM_EXPORT OSStatus GetControlKind(ControlRef control, ControlKind* outKind);

PLATFORM_EXPORT OSStatus SetControlID(ControlRef control, const ControlID* inID);
PLATFORM_EXPORT OSStatus GetControlID(ControlRef control, ControlID* outID);
// Searches the whole window, depth first. When nothing matches, *outControl becomes null and
// the result is errUnknownControl.
PLATFORM_EXPORT OSStatus GetControlByID(WindowRef window, const ControlID* inID, ControlRef* outControl);
PLATFORM_EXPORT OSStatus SetControlCommandID(ControlRef control, UInt32 commandID);
PLATFORM_EXPORT OSStatus GetControlCommandID(ControlRef control, UInt32* outCommandID);
PLATFORM_EXPORT OSStatus SetControlTitleWithCFString(ControlRef control, CFStringRef title);
PLATFORM_EXPORT OSStatus CopyControlTitleAsCFString(ControlRef control, CFStringRef* outTitle);

PLATFORM_EXPORT void HideControl(ControlRef control);
PLATFORM_EXPORT void ShowControl(ControlRef control);
PLATFORM_EXPORT OSStatus SetControlVisibility(ControlRef control, Boolean visible, Boolean draw);
// True only when the control and every control it is embedded in are shown.
PLATFORM_EXPORT Boolean IsControlVisible(ControlRef control);
PLATFORM_EXPORT OSStatus EnableControl(ControlRef control);
PLATFORM_EXPORT OSStatus DisableControl(ControlRef control);
// True only when the control and every control it is embedded in are enabled.
PLATFORM_EXPORT Boolean IsControlEnabled(ControlRef control);
// Sends the control's draw event (kEventControlDraw) at once, when the control is visible.
PLATFORM_EXPORT void Draw1Control(ControlRef control);

// Bounds are in the coordinates of the control's window.
PLATFORM_EXPORT Rect* GetControlBounds(ControlRef control, Rect* outBounds);
PLATFORM_EXPORT void SetControlBounds(ControlRef control, const Rect* bounds);
// Moves the top-left corner to (h, v); controls embedded in it move with it.
PLATFORM_EXPORT void MoveControl(ControlRef control, SInt16 h, SInt16 v);
PLATFORM_EXPORT void SizeControl(ControlRef control, SInt16 width, SInt16 height);

// Values are kept within the control's minimum and maximum.
PLATFORM_EXPORT SInt16 GetControlValue(ControlRef control);
PLATFORM_EXPORT void SetControlValue(ControlRef control, SInt16 value);
PLATFORM_EXPORT SInt32 GetControl32BitValue(ControlRef control);
PLATFORM_EXPORT void SetControl32BitValue(ControlRef control, SInt32 value);
PLATFORM_EXPORT SInt32 GetControl32BitMinimum(ControlRef control);
PLATFORM_EXPORT void SetControl32BitMinimum(ControlRef control, SInt32 minimum);
PLATFORM_EXPORT SInt32 GetControl32BitMaximum(ControlRef control);
PLATFORM_EXPORT void SetControl32BitMaximum(ControlRef control, SInt32 maximum);

// Data by tag. A buffer smaller than the data receives its first bytes and *outActualSize the
// whole size, for data of variable size such as text; data of fixed size needs a buffer of
// its exact size (errDataSizeMismatch otherwise).
PLATFORM_EXPORT OSStatus SetControlData(ControlRef control, ControlPartCode part, ControlDataTag tag, Size size, const void* data);
PLATFORM_EXPORT OSStatus GetControlData(ControlRef control, ControlPartCode part, ControlDataTag tag, Size bufferSize,
    void* buffer, Size* outActualSize);
PLATFORM_EXPORT OSStatus GetControlDataSize(ControlRef control, ControlPartCode part, ControlDataTag tag, Size* outMaxSize);

PLATFORM_EXPORT ControlKeyFilterUPP NewControlKeyFilterUPP(ControlKeyFilterProcPtr userRoutine);
PLATFORM_EXPORT void DisposeControlKeyFilterUPP(ControlKeyFilterUPP userUPP);

// Only a visible, enabled edit field can take the focus; a null control clears it.
PLATFORM_EXPORT OSStatus SetKeyboardFocus(WindowRef inWindow, ControlRef inControl, ControlFocusPart inPart);
PLATFORM_EXPORT OSStatus GetKeyboardFocus(WindowRef inWindow, ControlRef* outControl);
PLATFORM_EXPORT OSStatus ClearKeyboardFocus(WindowRef inWindow);

// Properties: bytes that callers attach to a control under a creator and a tag.
PLATFORM_EXPORT OSStatus SetControlProperty(ControlRef control, PropertyCreator creator, PropertyTag tag, UInt32 size,
    const void* data);
PLATFORM_EXPORT OSStatus GetControlProperty(ControlRef control, PropertyCreator creator, PropertyTag tag, UInt32 bufferSize,
    UInt32* actualSize, void* buffer);
PLATFORM_EXPORT OSStatus GetControlPropertySize(ControlRef control, PropertyCreator creator, PropertyTag tag, UInt32* size);
PLATFORM_EXPORT OSStatus RemoveControlProperty(ControlRef control, PropertyCreator creator, PropertyTag tag);

PLATFORM_EXTERN_C_END
