#include <HIToolbox/InputSourceStandIn.h>

#include <CoreFoundation/CFUserNotificationPrivate.h>

namespace {

StandIn::InputSource* gInputSource = nullptr;

void showNotice(const std::string& header, const std::string& message)
{
    if (gInputSource)
        gInputSource->showNotice({ header, message });
}

}

StandIn::InputSource::~InputSource() = default;

void StandIn::setInputSource(InputSource* source)
{
    gInputSource = source;
    // Notices are CoreFoundation's, which lies below the toolbox and so cannot ask for the source.
    _CFSetNoticeDisplay(source ? showNotice : nullptr);
}

StandIn::InputSource* StandIn::inputSource()
{
    return gInputSource;
}

StandIn::InputSourceInstallation::InputSourceInstallation(InputSource* source)
    : m_previous(inputSource())
{
    setInputSource(source);
}

StandIn::InputSourceInstallation::~InputSourceInstallation()
{
    setInputSource(m_previous);
}
