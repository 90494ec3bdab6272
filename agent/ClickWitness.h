// Stands between the toolbox and the desk for one job's Print click. It names the job in the
// prompt's title as the prompt comes up ("Accounting — report.pdf — movra": the pane's own,
// localized title first), so that the person can tell which print is asking; and it notes
// whether the pane showed its alert (the prompt was cancelled) or its notice (a default code is
// missing), which decide what becomes of the job. Everything else goes on to the desk.
#pragma once

#include <HIToolbox/InputSourceStandIn.h>

#include <string>

class ClickWitness : public StandIn::InputSource {
public:
    // Installs itself over the current input source, until it goes.
    ClickWitness(std::string document, std::string queue);
    ~ClickWitness() override;
    ClickWitness(const ClickWitness&) = delete;
    ClickWitness& operator=(const ClickWitness&) = delete;

    bool alertShown() const { return m_alertShown; }
    bool noticeShown() const { return m_noticeShown; }

    bool performNextAction(WindowRef modalWindow) override;
    void showAlert(const StandIn::AlertContent& alert) override;
    void showNotice(const StandIn::NoticeContent& notice) override;
    void beep() override;
    void openHelpPage(const StandIn::HelpPage& page) override;

private:
    std::string m_document;
    std::string m_queue;
    StandIn::InputSource* m_desk;
    WindowRef m_titled { nullptr };
    bool m_alertShown { false };
    bool m_noticeShown { false };
};

// The prompt's title for a job: the pane's title, the document and the queue. A document name
// is the printing program's to choose: control characters become spaces.
std::string promptTitle(const std::string& paneTitle, const std::string& document, const std::string& queue);
