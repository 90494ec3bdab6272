#include "agent/HeldJobClick.h"

#include "program/PrintableText.h"
#include "program/ProcessGuards.h"
#include "program/ProgramTexts.h"
#include "dialog/WindowControls.h"

#include <HIToolbox/HIToolbox.h>
#include <HIToolbox/InputSourceStandIn.h>
#include <HIToolbox/UserActionsStandIn.h>

#include <CoreFoundation/CFStandIn.h>

#include <algorithm>

namespace {

enum : SInt32 {
    kPromptUserIDField = 501,
    kPromptAccountIDField = 503,
};

// The note's place: the prompt's own margin and line height, and about as many characters as a
// line of the prompt's width holds.
constexpr SInt16 kNoteMargin = 20;
constexpr SInt16 kNoteLineHeight = 16;
constexpr SInt16 kNoteSpacing = 12;
constexpr size_t kNoteCharactersPerLine = 40;

// Everything in the prompt moves down to make room for the note at its top.
void addNote(WindowRef prompt, const std::string& note)
{
    CFStringRef text = StandIn::createString(note);
    if (!text)
        return;
    size_t characters = static_cast<size_t>(std::count_if(note.begin(), note.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    auto height = static_cast<SInt16>(kNoteLineHeight * std::min<size_t>(characters / kNoteCharactersPerLine + 1, 8));
    Rect content = {};
    GetWindowContentBounds(prompt, &content);
    auto width = static_cast<SInt16>(content.right - content.left);
    ControlRef root = nullptr;
    GetRootControl(prompt, &root);
    UInt16 count = 0;
    CountSubControls(root, &count);
    for (UInt16 index = 1; index <= count; ++index) {
        ControlRef control = nullptr;
        GetIndexedSubControl(root, index, &control);
        Rect bounds = {};
        GetControlBounds(control, &bounds);
        MoveControl(control, bounds.left, static_cast<SInt16>(bounds.top + height + kNoteSpacing));
    }
    SizeWindow(prompt, width, static_cast<short>(content.bottom - content.top + height + kNoteSpacing), false);
    const Rect bounds = { kNoteMargin, kNoteMargin, static_cast<SInt16>(kNoteMargin + height), static_cast<SInt16>(width - kNoteMargin) };
    ControlRef shown = nullptr;
    CreateStaticTextControl(prompt, &bounds, text, nullptr, &shown);
    // The note quotes the server's words made printable already.
    if (shown)
        markTextPrintable(shown);
    CFRelease(text);
}

// Types the code into the field as the person would, where the person could.
void fillIn(WindowRef prompt, SInt32 field, const std::string& code)
{
    ControlRef control = findControlByNumber(prompt, field);
    if (!code.empty() && control && IsControlVisible(control) && IsControlEnabled(control) && clickIntoField(control, nullptr))
        StandIn::typeText(prompt, code, nullptr);
}

// The job's document, as the agent's messages name it.
std::string documentNamed(const PromptDressing& dressing)
{
    return dressing.document.empty() ? programText("Your Print") : programText("Quoted Document", { printableText(dressing.document) });
}

void dress(WindowRef prompt, const PromptDressing& dressing)
{
    CFStringRef paneTitle = nullptr;
    CopyWindowTitleAsCFString(prompt, &paneTitle);
    CFStringRef title = StandIn::createString(promptTitle(StandIn::toUTF8(paneTitle), dressing.document, dressing.queue));
    if (title) {
        SetWindowTitleWithCFString(prompt, title);
        CFRelease(title);
    }
    if (paneTitle)
        CFRelease(paneTitle);
    // The body names the job above the pane's own words, and the note goes above both.
    addNote(prompt, programText("Prompt Job Line", { documentNamed(dressing), printableText(dressing.queue) }));
    if (!dressing.note.empty())
        addNote(prompt, dressing.note);
    if (dressing.userID.empty() && dressing.accountID.empty())
        return;
    // Filled in as the person would type them, so that the pane checks them as it checks the
    // person's; the person starts at the User ID again.
    fillIn(prompt, kPromptAccountIDField, dressing.accountID);
    fillIn(prompt, kPromptUserIDField, dressing.userID);
}

// The toolbox's input source for the click, over the answerer's: it dresses the prompt, notes what
// the pane showed, and says it in the agent's words. Without an answerer it asks nobody.
class JobPrompt : public StandIn::InputSource {
public:
    JobPrompt(const PromptDressing& dressing, bool asksSomebody, const CancelJob& cancelJob)
        : m_dressing(dressing)
        , m_asksSomebody(asksSomebody)
        , m_cancelJob(cancelJob)
    {
    }

    bool promptShown() const { return m_prompt != nullptr; }
    bool alertShown() const { return m_alertShown; }
    bool noticeShown() const { return m_noticeShown; }
    const StandIn::NoticeContent& notice() const { return m_notice; }

    bool performNextAction(WindowRef prompt) override
    {
        if (prompt != m_prompt) {
            m_prompt = prompt;
            dress(prompt, m_dressing);
        }
        return m_asksSomebody && person() && person()->performNextAction(prompt);
    }

    // The pane's alert after the person's Cancel: the job is cancelled now, and the message says
    // what the server did, for information, since it is what the person chose.
    void showAlert(const StandIn::AlertContent&) override
    {
        m_alertShown = true;
        if (!m_asksSomebody || !person())
            return;
        std::string why;
        CancelAnswer answer = m_cancelJob ? m_cancelJob(&why) : CancelAnswer::Unanswered;
        const char* message = answer == CancelAnswer::Done ? "Job Cancelled Message"
            : answer == CancelAnswer::Refused              ? "Job Not Cancelled Message"
                                                           : "Job Cancel Unanswered Message";
        person()->showNotice({ promptTitle(programText("Accounting"), m_dressing.document, m_dressing.queue),
            programText(message, { document(), printableText(m_dressing.queue), printableText(why) }) });
    }

    void showNotice(const StandIn::NoticeContent&) override
    {
        m_noticeShown = true;
        m_notice = { promptTitle(programText("Accounting"), m_dressing.document, m_dressing.queue),
            programText("Job Waiting Message", { document(), printableText(m_dressing.queue) }) };
        if (m_asksSomebody && person())
            person()->showNotice(m_notice);
    }

    void beep() override
    {
        if (m_asksSomebody && person())
            person()->beep();
    }

    void openHelpPage(const StandIn::HelpPage& page) override
    {
        if (m_asksSomebody && person())
            person()->openHelpPage(page);
    }

private:
    StandIn::InputSource* person() const { return m_installation.previous(); }
    std::string document() const { return documentNamed(m_dressing); }

    const PromptDressing& m_dressing;
    bool m_asksSomebody;
    const CancelJob& m_cancelJob;
    WindowRef m_prompt { nullptr };
    bool m_alertShown { false };
    bool m_noticeShown { false };
    StandIn::NoticeContent m_notice;
    StandIn::InputSourceInstallation m_installation { this };
};

}

ClickOutcome playHeldJobClick(PrintDialog& dialog, const PromptDressing& dressing, PromptAnswerer* answerer, Transcript& transcript,
    const CancelJob& cancelJob)
{
    if (answerer)
        answerer->begin(dialog, transcript);
    ClickOutcome outcome;
    PrintClick click;
    std::string error;
    bool promptShown;
    bool alertShown;
    bool noticeShown;
    {
        JobPrompt prompt(dressing, answerer != nullptr, cancelJob);
        click = dialog.clickPrint(&error);
        promptShown = prompt.promptShown();
        alertShown = prompt.alertShown();
        noticeShown = prompt.noticeShown();
        outcome.noticeHeader = prompt.notice().header;
        outcome.noticeMessage = prompt.notice().message;
    }
    Answer answer = answerer ? answerer->end() : Answer { promptShown ? "it needs the prompt" : "", "" };
    transcript.flush();
    outcome.fault = answer.error;
    // A prompt closed as the process was asked to stop was answered by nobody, whatever its
    // fields held.
    if (interruptionRequested() && promptShown && answer.unanswered.empty())
        answer.unanswered = "its prompt was closed";
    if (!answer.unanswered.empty()) {
        outcome.kind = ClickOutcome::Kind::Unanswered;
        outcome.why = answer.unanswered;
    } else if (click == PrintClick::Failed) {
        outcome.why = error;
    } else if (click == PrintClick::Printed) {
        outcome.kind = ClickOutcome::Kind::Printed;
        outcome.settings = dialog.printSettings();
    } else {
        outcome.kind = alertShown ? ClickOutcome::Kind::Cancelled : noticeShown ? ClickOutcome::Kind::CodeMissing
                                                                                : ClickOutcome::Kind::NotPrinted;
    }
    return outcome;
}

std::string promptTitle(const std::string& paneTitle, const std::string& document, const std::string& queue)
{
    std::string title = paneTitle;
    for (const std::string& part : { document, queue }) {
        if (!part.empty())
            title += (title.empty() ? "" : " \u2014 ") + printableText(part);
    }
    return title;
}
