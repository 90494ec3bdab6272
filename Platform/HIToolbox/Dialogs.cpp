#include <HIToolbox/Dialogs.h>
#include <HIToolbox/HIInputSource.h>
#include <HIToolbox/HIToolboxPrivate.h>

#include <CoreFoundation/CFStringPrivate.h>

namespace {

struct StandardAlert {
    AlertType type;
    HIAlertContent content;
};

LiveSet<StandardAlert>& liveAlerts()
{
    static LiveSet<StandardAlert> alerts;
    return alerts;
}

}

long _HILiveAlertCount()
{
    return liveAlerts().count();
}

OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation, const AlertStdCFStringAlertParamRec*,
    DialogRef* outAlert)
{
    if (!outAlert)
        return paramErr;
    auto* alert = new StandardAlert { alertType, { _CFStringToUTF8(error), _CFStringToUTF8(explanation) } };
    liveAlerts().add(alert);
    *outAlert = reinterpret_cast<DialogRef>(alert);
    return noErr;
}

OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP, DialogItemIndex* outItemHit)
{
    auto* alert = reinterpret_cast<StandardAlert*>(inAlert);
    if (!inAlert || !liveAlerts().contains(alert))
        return paramErr;
    if (HIInputSource* source = HIGetInputSource())
        source->showAlert(alert->content);
    liveAlerts().remove(alert);
    delete alert;
    if (outItemHit)
        *outItemHit = kAlertStdAlertOKButton;
    return noErr;
}

void SysBeep(short)
{
    if (HIInputSource* source = HIGetInputSource())
        source->beep();
}
