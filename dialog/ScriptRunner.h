// Plays a printdialog script against the Print dialog, as the person at the keyboard, and
// writes the transcript of what that person sees.
#pragma once

#include "DialogExport.h"
#include "PrintDialog.h"
#include "ScriptLine.h"
#include "ScriptSource.h"

#include <HIToolbox/HIInputSource.h>

#include <ostream>

enum class DialogOutcome {
    Printed,
    Cancelled,
    LeftOpen,
    Failed,
};

class DIALOG_EXPORT ScriptRunner : public HIInputSource {
public:
    // announcePrinted false: whoever submits the job says "printed" once it is accepted.
    ScriptRunner(PrintDialog& dialog, ScriptSource& script, std::ostream& transcript, bool announcePrinted = true);
    ~ScriptRunner() override;

    // Runs the script to its end, or until the job goes on, is cancelled or an error stops it.
    DialogOutcome run();
    // Why the run failed: "line N: ..." or a message of its own.
    const std::string& error() const { return m_error; }
    // A picture of the front window: the prompt when it is up, else the Print dialog.
    bool snapshot(const std::string& path, WindowRef modalWindow, std::string* error);

    bool performNextAction(WindowRef modalWindow) override;
    void showAlert(const HIAlertContent& alert) override;
    void showNotice(const HINoticeContent& notice) override;
    void beep() override;
    void openHelpPage(const HIHelpPage& page) override;

private:
    enum class Step {
        Done,
        EndOfScript,
        Failed,
    };
    // Reads and carries out the next action; modalWindow is the prompt when one is up.
    Step step(WindowRef modalWindow);
    bool perform(const ScriptLine& line, WindowRef modalWindow);
    bool fail(const ScriptLine& line, const std::string& message);
    ControlRef control(const ScriptLine& line, const std::string& number, WindowRef modalWindow);
    bool focus(ControlRef field, std::string* error);
    void dump(WindowRef window);
    bool clickPrint(const ScriptLine& line);

    PrintDialog& m_dialog;
    ScriptSource& m_script;
    std::ostream& m_transcript;
    HIInputSource* m_previousSource;
    int m_lineNumber { 0 };
    std::string m_error;
    WindowRef m_announcedPrompt { nullptr };
    DialogOutcome m_outcome { DialogOutcome::LeftOpen };
    bool m_announcePrinted;
};
