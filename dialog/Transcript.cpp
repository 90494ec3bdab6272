#include "dialog/Transcript.h"

#include "dialog/WindowDump.h"

#include <HIToolbox/HIToolboxStandIn.h>

std::ostream& Transcript::line()
{
    return m_out << m_prefix;
}

void Transcript::prompt(WindowRef window)
{
    line() << "prompt: " << StandIn::windowDefinitionName(window) << "\n";
}

void Transcript::alert(const StandIn::AlertContent& alert)
{
    line() << "alert: " << alert.text << "\n";
}

void Transcript::notice(const StandIn::NoticeContent& notice)
{
    line() << "notice: " << notice.header << ": " << notice.message << "\n";
}

void Transcript::beep()
{
    line() << "beep\n";
}

void Transcript::help(const StandIn::HelpPage& page)
{
    line() << "help: " << page.book << " " << page.page << (page.anchor.empty() ? "" : "#" + page.anchor) << "\n";
}

void Transcript::summary(const std::string& title, const std::string& text)
{
    line() << "summary: " << title << " = " << text << "\n";
}

void Transcript::printed()
{
    line() << "printed\n";
}

void Transcript::printedJob(int job)
{
    line() << "printed job " << job << "\n";
}

void Transcript::saved()
{
    m_out << "saved\n";
}

void Transcript::forgotten()
{
    line() << "forgotten\n";
}

void Transcript::notPrinted()
{
    line() << "not printed\n";
}

void Transcript::cancelled()
{
    line() << "cancelled\n";
}

void Transcript::dump(WindowRef window)
{
    for (const auto& control : dumpWindow(window))
        line() << control << "\n";
}
