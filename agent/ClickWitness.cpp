#include "ClickWitness.h"

#include "PrintableText.h"
#include "ProgramTexts.h"
#include "WindowControls.h"

#include <HIToolbox/HIToolbox.h>
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
    CFRelease(text);
}

// Types the code into the field as the person would, where the person could.
void fillIn(WindowRef prompt, SInt32 field, const std::string& code)
{
    ControlRef control = findControlByNumber(prompt, field);
    if (!code.empty() && control && IsControlVisible(control) && IsControlEnabled(control) && clickIntoField(control, nullptr))
        StandIn::typeText(prompt, code, nullptr);
}

}

ClickWitness::ClickWitness(PromptDressing dressing)
    : m_dressing(std::move(dressing))
    , m_desk(StandIn::inputSource())
{
    StandIn::setInputSource(this);
}

ClickWitness::~ClickWitness()
{
    StandIn::setInputSource(m_desk);
}

bool ClickWitness::performNextAction(WindowRef modalWindow)
{
    if (modalWindow != m_titled) {
        m_titled = modalWindow;
        dress(modalWindow);
    }
    return m_desk && m_desk->performNextAction(modalWindow);
}

void ClickWitness::dress(WindowRef prompt)
{
    CFStringRef paneTitle = nullptr;
    CopyWindowTitleAsCFString(prompt, &paneTitle);
    std::string pane = StandIn::toUTF8(paneTitle);
    CFStringRef title = StandIn::createString(promptTitle(pane, m_dressing.document, m_dressing.queue));
    if (title) {
        SetWindowTitleWithCFString(prompt, title);
        CFRelease(title);
    }
    if (paneTitle)
        CFRelease(paneTitle);
    if (!m_dressing.note.empty())
        addNote(prompt, m_dressing.note);
    if (m_dressing.userID.empty() && m_dressing.accountID.empty())
        return;
    // Filled in as the person would type them, so that the pane checks them as it checks the
    // person's; the person starts at the User ID again.
    fillIn(prompt, kPromptAccountIDField, m_dressing.accountID);
    fillIn(prompt, kPromptUserIDField, m_dressing.userID);
}

// The pane's alert and notice speak of a Print dialog the person never saw: the agent says in its
// own words what becomes of the job.
void ClickWitness::showAlert(const StandIn::AlertContent&)
{
    m_alertShown = true;
    if (m_desk)
        m_desk->showAlert({ programText("Job Cancelled Message", { shownDocument(), printableText(m_dressing.queue) }), "" });
}

void ClickWitness::showNotice(const StandIn::NoticeContent&)
{
    m_noticeShown = true;
    if (m_desk)
        m_desk->showNotice({ promptTitle(programText("Accounting"), m_dressing.document, m_dressing.queue),
            programText("Job Waiting Message",
                { shownDocument(), printableText(m_dressing.queue) }) });
}

std::string ClickWitness::shownDocument() const
{
    return m_dressing.document.empty() ? programText("Your Print") : programText("Quoted Document", { printableText(m_dressing.document) });
}

void ClickWitness::beep()
{
    if (m_desk)
        m_desk->beep();
}

void ClickWitness::openHelpPage(const StandIn::HelpPage& page)
{
    if (m_desk)
        m_desk->openHelpPage(page);
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
