#include "tests/support/RecordingInputSource.h"

#include <algorithm>
#include <HIToolbox/InputSourceStandIn.h>

int RecordingInputSource::beeps() const
{
    return static_cast<int>(std::count(m_events.begin(), m_events.end(), "beep"));
}

bool RecordingInputSource::performNextAction(WindowRef modalWindow)
{
    if (m_actions.empty())
        return false;
    Action action = std::move(m_actions.front());
    m_actions.pop_front();
    action(modalWindow);
    return true;
}

void RecordingInputSource::showAlert(const StandIn::AlertContent& alert)
{
    m_events.push_back("alert: " + alert.text);
    if (onAlert)
        onAlert();
}

void RecordingInputSource::showNotice(const StandIn::NoticeContent& notice)
{
    m_events.push_back("notice: " + notice.header + " / " + notice.message);
}

void RecordingInputSource::beep()
{
    m_events.push_back("beep");
}

void RecordingInputSource::openHelpPage(const StandIn::HelpPage& page)
{
    m_events.push_back("help: " + page.path + (page.anchor.empty() ? "" : "#" + page.anchor));
}
