// An input source for tests: it plays queued user actions while a modal window is up, and
// records what the user would see and hear (alerts, notices, beeps, help pages), in order.
// A test that runs a modal loop with it cannot hang: when the queue runs dry the loop ends.
#pragma once

#include <HIToolbox/InputSourceStandIn.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class RecordingInputSource : public StandIn::InputSource {
public:
    using Action = std::function<void(WindowRef modalWindow)>;

    RecordingInputSource() = default;

    // Actions run one per turn of the modal loop, in the order given.
    void queue(Action action) { m_actions.push_back(std::move(action)); }
    size_t actionsLeft() const { return m_actions.size(); }

    // "alert: TEXT", "notice: HEADER / MESSAGE", "beep", "help: PATH#ANCHOR".
    const std::vector<std::string>& events() const { return m_events; }
    int beeps() const;
    void clear() { m_events.clear(); }
    // Runs when an alert is shown, before it is dismissed.
    std::function<void()> onAlert;

    bool performNextAction(WindowRef modalWindow) override;
    void showAlert(const StandIn::AlertContent& alert) override;
    void showNotice(const StandIn::NoticeContent& notice) override;
    void beep() override;
    void openHelpPage(const StandIn::HelpPage& page) override;

private:
    std::deque<Action> m_actions;
    std::vector<std::string> m_events;
    // The test's source while it lives.
    StandIn::InputSourceInstallation m_installation { this };
};
