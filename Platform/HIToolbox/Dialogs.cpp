#include <HIToolbox/Dialogs.h>
#include <HIToolbox/InputSourceStandIn.h>
#include <HIToolbox/HIToolboxPrivate.h>

#include <CoreFoundation/CFStringPrivate.h>

namespace {

struct StandardAlert {
    AlertType type;
    StandIn::AlertContent content;
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
    auto* alert = new StandardAlert { alertType, { StandIn::toUTF8(error), StandIn::toUTF8(explanation) } };
    liveAlerts().add(alert);
    *outAlert = reinterpret_cast<DialogRef>(alert);
    return noErr;
}

OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP, DialogItemIndex* outItemHit)
{
    auto* alert = reinterpret_cast<StandardAlert*>(inAlert);
    if (!inAlert || !liveAlerts().contains(alert))
        return paramErr;
    if (StandIn::InputSource* source = StandIn::inputSource())
        source->showAlert(alert->content);
    liveAlerts().remove(alert);
    delete alert;
    if (outItemHit)
        *outItemHit = kAlertStdAlertOKButton;
    return noErr;
}

void SysBeep(short)
{
    if (StandIn::InputSource* source = StandIn::inputSource())
        source->beep();
}
