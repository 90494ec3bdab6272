// Windows.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <Graphics/QuickDraw.h>

typedef struct OpaqueWindowPtr* WindowRef;
typedef struct OpaqueControlRef* ControlRef;
typedef UInt32 WindowClass;
typedef UInt32 WindowAttributes;

enum {
    kAlertWindowClass = 1,
    kMovableAlertWindowClass = 2,
    kModalWindowClass = 3,
    kMovableModalWindowClass = 4,
    kFloatingWindowClass = 5,
    kDocumentWindowClass = 6,
    kSheetWindowClass = 11,
};

enum {
    kWindowNoAttributes = 0,
    kWindowCloseBoxAttribute = 1 << 0,
    kWindowStandardHandlerAttribute = 1 << 25,
    kWindowCompositingAttribute = 1 << 19,
};

enum {
    errInvalidWindowRef = -5600,
    // The modal loop's window went away, or its input source has no more actions.
    eventLoopTimedOutErr = -9875,
    eventLoopQuitErr = -9876,
};

PLATFORM_EXTERN_C_BEGIN

// bounds: the content area in global coordinates. The window starts hidden, with a root control
// that holds every control created in it.
PLATFORM_EXPORT OSStatus CreateNewWindow(WindowClass windowClass, WindowAttributes attributes, const Rect* contentBounds,
    WindowRef* outWindow);
// Disposes of the window with every control in it and every handler installed on them.
PLATFORM_EXPORT void DisposeWindow(WindowRef window);
PLATFORM_EXPORT void ShowWindow(WindowRef window);
PLATFORM_EXPORT void HideWindow(WindowRef window);
PLATFORM_EXPORT Boolean IsWindowVisible(WindowRef window);
PLATFORM_EXPORT WindowClass GetWindowClassOf(WindowRef window);
PLATFORM_EXPORT OSStatus SetWindowTitleWithCFString(WindowRef window, CFStringRef title);
PLATFORM_EXPORT OSStatus CopyWindowTitleAsCFString(WindowRef window, CFStringRef* outTitle);
// The content area in global coordinates.
PLATFORM_EXPORT OSStatus GetWindowContentBounds(WindowRef window, Rect* outBounds);
// Gives the content area a new width and height, its top left corner staying where it is; the
// controls stay where they are, and the port takes the new size, keeping what is painted in the
// part that remains. Negative sizes and a stale window are ignored; fUpdate is accepted and ignored.
PLATFORM_EXPORT void SizeWindow(WindowRef window, short w, short h, Boolean fUpdate);
PLATFORM_EXPORT OSStatus SetWindowDefaultButton(WindowRef window, ControlRef control);
PLATFORM_EXPORT OSStatus GetWindowDefaultButton(WindowRef window, ControlRef* outControl);
PLATFORM_EXPORT OSStatus SetWindowCancelButton(WindowRef window, ControlRef control);
PLATFORM_EXPORT OSStatus GetWindowCancelButton(WindowRef window, ControlRef* outControl);
// The window's port: its content's pixels, in window coordinates.
PLATFORM_EXPORT CGrafPtr GetWindowPort(WindowRef window);
PLATFORM_EXPORT void SetPortWindowPort(WindowRef window);

// Runs an application-modal loop on a shown window: while it runs only that window takes
// user actions, which the installed input source supplies one at a time. Returns noErr once a
// handler quits the loop; eventLoopTimedOutErr when the input source has no more actions (or
// none is installed); eventLoopQuitErr when the window is disposed of during the loop.
PLATFORM_EXPORT OSStatus RunAppModalLoopForWindow(WindowRef inWindow);
PLATFORM_EXPORT OSStatus QuitAppModalLoopForWindow(WindowRef inWindow);

PLATFORM_EXTERN_C_END
