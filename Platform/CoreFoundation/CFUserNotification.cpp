#include <CoreFoundation/CFStringPrivate.h>
#include <CoreFoundation/CFUserNotification.h>
#include <CoreFoundation/CFUserNotificationPrivate.h>

namespace {

_CFNoticeDisplay gNoticeDisplay = nullptr;

}

void _CFSetNoticeDisplay(_CFNoticeDisplay display)
{
    gNoticeDisplay = display;
}

SInt32 CFUserNotificationDisplayNotice(CFTimeInterval, CFOptionFlags, CFURLRef, CFURLRef, CFURLRef, CFStringRef alertHeader,
    CFStringRef alertMessage, CFStringRef)
{
    if (gNoticeDisplay)
        gNoticeDisplay(StandIn::toUTF8(alertHeader), StandIn::toUTF8(alertMessage));
    return 0;
}
