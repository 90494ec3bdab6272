// Standard alerts and the system beep, shown and sounded through the input source.
#pragma once

#include <HIToolbox/Controls.h>

typedef struct OpaqueDialogPtr* DialogRef;
typedef SInt16 AlertType;
typedef SInt16 DialogItemIndex;
typedef void* ModalFilterUPP;

enum {
    kAlertStopAlert = 0,
    kAlertNoteAlert = 1,
    kAlertCautionAlert = 2,
    kAlertPlainAlert = 3,
};

enum {
    kAlertStdAlertOKButton = 1,
    kAlertStdAlertCancelButton = 2,
};

struct AlertStdCFStringAlertParamRec {
    UInt32 version;
    Boolean movable;
    Boolean helpButton;
    CFStringRef defaultText;
    CFStringRef cancelText;
    CFStringRef otherText;
    SInt16 defaultButton;
    SInt16 cancelButton;
    UInt16 position;
    UInt32 flags;
};
typedef struct AlertStdCFStringAlertParamRec AlertStdCFStringAlertParamRec;

PLATFORM_EXTERN_C_BEGIN

// An alert with one OK button unless param asks for more.
PLATFORM_EXPORT OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
    const AlertStdCFStringAlertParamRec* param, DialogRef* outAlert);
// Shows the alert, waits until it is dismissed, then disposes of it. The stand-in's alerts
// have their OK button as the answer.
PLATFORM_EXPORT OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP filterProc, DialogItemIndex* outItemHit);
PLATFORM_EXPORT void SysBeep(short duration);

PLATFORM_EXTERN_C_END
