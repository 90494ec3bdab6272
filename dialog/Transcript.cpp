#include "Transcript.h"

#include "WindowDump.h"

#include <HIToolbox/HIToolboxStandIn.h>

void Transcript::prompt(WindowRef window)
{
    m_out << "prompt: " << StandIn::windowDefinitionName(window) << "\n";
}

void Transcript::alert(const StandIn::AlertContent& alert)
{
    m_out << "alert: " << alert.text << "\n";
}

void Transcript::notice(const StandIn::NoticeContent& notice)
{
    m_out << "notice: " << notice.header << ": " << notice.message << "\n";
}

void Transcript::beep()
{
    m_out << "beep\n";
}

void Transcript::help(const StandIn::HelpPage& page)
{
    m_out << "help: " << page.book << " " << page.page << (page.anchor.empty() ? "" : "#" + page.anchor) << "\n";
}

void Transcript::summary(const std::string& title, const std::string& text)
{
    m_out << "summary: " << title << " = " << text << "\n";
}

void Transcript::printed()
{
    m_out << "printed\n";
}

void Transcript::printedJob(int job)
{
    m_out << "printed job " << job << "\n";
}

void Transcript::saved()
{
    m_out << "saved\n";
}

void Transcript::notPrinted()
{
    m_out << "not printed\n";
}

void Transcript::cancelled()
{
    m_out << "cancelled\n";
}

void Transcript::dump(WindowRef window)
{
    for (const auto& line : dumpWindow(window))
        m_out << line << "\n";
}
