// Plays a script against the Print dialog, as the person at the keyboard: its lines one at a
// time, each an action (ScriptActions.h), the prompt's lines inside the Print click while the
// prompt's modal loop asks for them, and what the person meets written to the transcript.
#pragma once

#include "program/ProgramsExport.h"
#include "dialog/PrintDialog.h"
#include "dialog/ScriptActions.h"
#include "dialog/ScriptSource.h"
#include "dialog/Transcript.h"

#include <HIToolbox/InputSourceStandIn.h>

#include <string>

class PROGRAMS_EXPORT ScriptRunner : public StandIn::InputSource {
public:
    // The runner is the toolbox's input source for as long as it lives.
    ScriptRunner(PrintDialog& dialog, ScriptSource& script, Transcript& transcript, PrintedLine printedLine = PrintedLine::Written);
    ~ScriptRunner() override;

    // Runs the script to its end, or until the job goes on, is cancelled or an error stops it. A
    // line after the dialog has closed is the script's error, unless a window of the program's
    // own follows the dialog (a printer's codes window), whose lines they are.
    DialogOutcome run();
    void windowFollows() { m_windowFollows = true; }
    // Why the run failed: "line N: ..." or a message of its own.
    const std::string& error() const { return m_error; }
    // Whether the script had no more lines when one was wanted.
    bool ranOut() const { return m_ranOut; }

    bool performNextAction(WindowRef modalWindow) override;
    void showAlert(const StandIn::AlertContent& alert) override;
    void showNotice(const StandIn::NoticeContent& notice) override;
    void beep() override;
    void openHelpPage(const StandIn::HelpPage& page) override;

private:
    enum class Step {
        Done,
        EndOfScript,
        Failed,
    };
    // Reads and carries out the next action; prompt is the prompt when one is up.
    Step step(WindowRef prompt);

    PrintDialog& m_dialog;
    ScriptSource& m_script;
    Transcript& m_transcript;
    PrintedLine m_printedLine;
    StandIn::InputSourceInstallation m_installation;
    std::string m_error;
    bool m_ranOut { false };
    bool m_windowFollows { false };
    WindowRef m_announcedPrompt { nullptr };
    DialogOutcome m_outcome { DialogOutcome::LeftOpen };
};
