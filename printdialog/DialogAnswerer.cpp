#include "printdialog/DialogAnswerer.h"

#include "dialog/ScreenModule.h"
#include "dialog/ScriptCodes.h"
#include "dialog/ScriptPassword.h"
#include "dialog/ScriptRunner.h"
#include "dialog/ScriptSource.h"

namespace {

class ScriptDialogAnswerer : public DialogAnswerer {
public:
    ScriptDialogAnswerer(const PrintDialogOptions& options, std::ostream& err)
        : m_options(options)
        , m_where(options.scriptPath == "-" ? "standard input" : options.scriptPath)
        , m_conversation(err)
    {
    }

    bool ready(std::string* error) override
    {
        if (m_options.scriptPath.empty() || m_script.open(m_options.scriptPath, error))
            return true;
        *error = m_options.scriptPath + ": " + *error;
        return false;
    }

    Conversation& conversation() override { return m_conversation; }

    // A server that asks for the person's password is answered by the script's next line.
    bool askPassword(const PasswordQuestion& question, std::ostream& transcript, PasswordAnswer* answer, std::string* why, std::string* error) override
    {
        std::string scriptError;
        bool given = answerPasswordFromScript(m_script, question, transcript, answer, why, &scriptError) == ScriptPasswordAnswer::Given;
        if (!scriptError.empty())
            *error = m_where + ": " + scriptError;
        return given;
    }

    CodesFormAnswer askCodes(CodesForm* form, std::ostream& transcript, std::string* why, std::string* error) override
    {
        std::string scriptError;
        CodesFormAnswer answer = answerCodesFromScript(m_script, form, transcript, why, &scriptError);
        if (!scriptError.empty())
            *error = m_where + ": " + scriptError;
        return answer;
    }

    DialogOutcome play(PrintDialog& dialog, Transcript& transcript, bool onQueue, std::string* error) override
    {
        // A picture without a script shows the pane as a person opening it would see it.
        if (m_options.scriptPath.empty())
            dialog.showPane();
        DialogOutcome outcome;
        std::string scriptError;
        {
            // On a CUPS queue the line comes once the server has taken the job ("printed job N"), or
            // once the queue's settings are stored ("saved").
            ScriptRunner runner(dialog, m_script, transcript, onQueue ? PrintedLine::LeftToSubmitter : PrintedLine::Written);
            // On a queue the pane does not serve, the printer's codes window may follow Print.
            if (onQueue && !dialog.printClickHooked())
                runner.windowFollows();
            outcome = runner.run();
            scriptError = runner.error();
            // The picture is of the dialog as the script leaves it, before it is torn down.
            if (outcome != DialogOutcome::Failed && !m_options.snapshotPath.empty()
                && !snapshotFrontWindow(dialog, nullptr, m_options.snapshotPath, &scriptError))
                outcome = DialogOutcome::Failed;
        }
        transcript.flush();
        if (outcome == DialogOutcome::Failed)
            *error = m_where + ": " + scriptError;
        return outcome;
    }

private:
    const PrintDialogOptions& m_options;
    // The script as its errors name it.
    std::string m_where;
    ScriptedConversation m_conversation;
    ScriptSource m_script;
};

class ScreenDialogAnswerer : public DialogAnswerer {
public:
    explicit ScreenDialogAnswerer(std::ostream& err)
        : m_conversation(err)
    {
    }

    bool ready(std::string* error) override
    {
        if (!displayAvailable()) {
            *error = "no display to show the dialog on: set DISPLAY, or run it with --script FILE (or - for standard input), or take a "
                     "picture with --snapshot FILE";
            return false;
        }
        m_frontEnd = loadScreenModule(error);
        return m_frontEnd;
    }

    Conversation& conversation() override { return m_conversation; }

    // A server that asks for the person's password asks in a window of its own.
    bool askPassword(const PasswordQuestion& question, std::ostream& transcript, PasswordAnswer* answer, std::string* why, std::string*) override
    {
        return answerPasswordInWindow(question, transcript, m_frontEnd->askPassword, answer, why);
    }

    CodesFormAnswer askCodes(CodesForm* form, std::ostream& transcript, std::string* why, std::string*) override
    {
        return answerCodesInWindow(form, transcript, m_frontEnd->askCodes, why);
    }

    DialogOutcome play(PrintDialog& dialog, Transcript&, bool, std::string* error) override
    {
        bool printed = m_frontEnd->runOnScreen(dialog, error);
        if (!error->empty())
            return DialogOutcome::Failed;
        if (dialog.forgetChosen())
            return DialogOutcome::Forgotten;
        return printed ? DialogOutcome::Printed : DialogOutcome::Cancelled;
    }

private:
    ScreenConversation m_conversation;
    const ScreenModule* m_frontEnd { nullptr };
};

}

std::unique_ptr<DialogAnswerer> makeScriptDialogAnswerer(const PrintDialogOptions& options, std::ostream& err)
{
    return std::make_unique<ScriptDialogAnswerer>(options, err);
}

std::unique_ptr<DialogAnswerer> makeScreenDialogAnswerer(std::ostream& err)
{
    return std::make_unique<ScreenDialogAnswerer>(err);
}
