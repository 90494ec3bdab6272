#include "ClickWitness.h"

#include <HIToolbox/HIToolbox.h>

#include <CoreFoundation/CFStandIn.h>

ClickWitness::ClickWitness(std::string document, std::string queue)
    : m_document(std::move(document))
    , m_queue(std::move(queue))
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
        CFStringRef paneTitle = nullptr;
        CopyWindowTitleAsCFString(modalWindow, &paneTitle);
        std::string pane = StandIn::toUTF8(paneTitle);
        CFStringRef title = StandIn::createString(promptTitle(pane, m_document, m_queue));
        // A document name that is not UTF-8 is left out rather than shown mangled.
        if (!title)
            title = StandIn::createString(promptTitle(pane, "", m_queue));
        if (title) {
            SetWindowTitleWithCFString(modalWindow, title);
            CFRelease(title);
        }
        if (paneTitle)
            CFRelease(paneTitle);
    }
    return m_desk && m_desk->performNextAction(modalWindow);
}

void ClickWitness::showAlert(const StandIn::AlertContent& alert)
{
    m_alertShown = true;
    if (m_desk)
        m_desk->showAlert(alert);
}

void ClickWitness::showNotice(const StandIn::NoticeContent& notice)
{
    m_noticeShown = true;
    if (m_desk)
        m_desk->showNotice(notice);
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
    std::string shown = document;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    std::string title = paneTitle;
    for (const std::string& part : { shown, queue }) {
        if (!part.empty())
            title += (title.empty() ? "" : " \u2014 ") + part;
    }
    return title;
}
