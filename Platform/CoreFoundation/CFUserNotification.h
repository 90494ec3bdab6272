// Notices: a message the user reads and dismisses without answering.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFURL.h>

typedef double CFTimeInterval;

enum {
    kCFUserNotificationStopAlertLevel = 0,
    kCFUserNotificationNoteAlertLevel = 1,
    kCFUserNotificationCautionAlertLevel = 2,
    kCFUserNotificationPlainAlertLevel = 3,
};

PLATFORM_EXTERN_C_BEGIN

// Hands the notice to the toolbox's input source and returns at once.
PLATFORM_EXPORT SInt32 CFUserNotificationDisplayNotice(CFTimeInterval timeout, CFOptionFlags flags, CFURLRef iconURL,
    CFURLRef soundURL, CFURLRef localizationURL, CFStringRef alertHeader, CFStringRef alertMessage,
    CFStringRef defaultButtonTitle);

PLATFORM_EXTERN_C_END
