// Stands between the toolbox and the desk for one job's Print click. As the prompt comes up it
// names the job in the prompt's title ("Accounting — report.pdf — movra": the pane's own,
// localized title first), so that the person can tell which print is asking, puts the agent's
// note above the codes, and fills in the codes the person is to confirm; and it notes whether
// the pane showed its alert (the prompt was cancelled) or its notice (a default code is
// missing), which decide what becomes of the job, and shows them in the agent's own words, which
// say what becomes of that job. Everything else goes on to the desk.
#pragma once

#include <HIToolbox/InputSourceStandIn.h>

#include <string>

// What the agent adds to a held job's prompt.
struct PromptDressing {
    std::string document;
    std::string queue;
    // A few lines above the codes: what the person should know before answering.
    std::string note {};
    // Codes typed into the prompt for the person to confirm; an empty one is left to the person.
    std::string userID {};
    std::string accountID {};
};

class ClickWitness : public StandIn::InputSource {
public:
    // Installs itself over the current input source, until it goes.
    explicit ClickWitness(PromptDressing dressing);
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
    void dress(WindowRef prompt);
    // The job's document, as the agent's messages name it.
    std::string shownDocument() const;

    PromptDressing m_dressing;
    StandIn::InputSource* m_desk;
    WindowRef m_titled { nullptr };
    bool m_alertShown { false };
    bool m_noticeShown { false };
};

// The prompt's title for a job: the pane's title, the document and the queue. The document's
// name is the printing program's to choose, the queue's the server's: both are shown as
// printableText shows them.
std::string promptTitle(const std::string& paneTitle, const std::string& document, const std::string& queue);
