// The transcript: one line for each thing the person at the dialog meets, in the order they
// meet it. No line holds a concealed code: a concealed field shows only its length. A program
// that plays several dialogs may start each line with the name of what the dialog is for.
#pragma once

#include "program/ProgramsExport.h"

#include <HIToolbox/InputSourceStandIn.h>
#include <HIToolbox/HIToolbox.h>

#include <ostream>
#include <string>
#include <utility>

class PROGRAMS_EXPORT Transcript {
public:
    explicit Transcript(std::ostream& out, std::string linePrefix = {})
        : m_out(out)
        , m_prefix(std::move(linePrefix))
    {
    }

    void prompt(WindowRef window); // prompt: WINDOW
    void alert(const StandIn::AlertContent& alert); // alert: TEXT
    void notice(const StandIn::NoticeContent& notice); // notice: HEADER: MESSAGE
    void beep(); // beep
    void help(const StandIn::HelpPage& page); // help: BOOK PAGE[#ANCHOR]
    void summary(const std::string& title, const std::string& text); // summary: TITLE = TEXT
    void printed(); // printed
    void printedJob(int job); // printed job N
    void saved(); // saved: a queue's settings are stored
    void forgotten(); // forgotten: a queue's stored settings are removed
    void notPrinted(); // not printed
    void cancelled(); // cancelled
    void dump(WindowRef window); // control ... (see WindowDump.h)

    // Whoever reads the transcript through a pipe sees what each action did before the next.
    void flush() { m_out.flush(); }

private:
    std::ostream& line();

    std::ostream& m_out;
    std::string m_prefix;
};
