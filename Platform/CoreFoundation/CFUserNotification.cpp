#include <CoreFoundation/CFStringPrivate.h>
#include <CoreFoundation/CFUserNotification.h>
#include <HIToolbox/HIInputSource.h>

SInt32 CFUserNotificationDisplayNotice(CFTimeInterval, CFOptionFlags, CFURLRef, CFURLRef, CFURLRef, CFStringRef alertHeader,
    CFStringRef alertMessage, CFStringRef)
{
    if (HIInputSource* source = HIGetInputSource())
        source->showNotice({ _CFStringToUTF8(alertHeader), _CFStringToUTF8(alertMessage) });
    return 0;
}
