#include "dialog/ScriptRunner.h"

#include "dialog/ScriptLine.h"

#include <optional>

ScriptRunner::ScriptRunner(PrintDialog& dialog, ScriptSource& script, Transcript& transcript, PrintedLine printedLine)
    : m_dialog(dialog)
    , m_script(script)
    , m_transcript(transcript)
    , m_printedLine(printedLine)
    , m_installation(this)
{
}

ScriptRunner::~ScriptRunner() = default;

DialogOutcome ScriptRunner::run()
{
    for (;;) {
        Step step = this->step(nullptr);
        if (step == Step::Failed) {
            m_dialog.dismiss();
            return DialogOutcome::Failed;
        }
        if (step == Step::EndOfScript)
            return m_outcome;
        if (m_outcome != DialogOutcome::LeftOpen)
            break;
    }
    if (m_windowFollows && m_outcome == DialogOutcome::Printed)
        return m_outcome;
    // The dialog is gone: anything the script still asks for cannot be done.
    Step after = step(nullptr);
    if (after == Step::Done)
        m_error = "line " + std::to_string(m_script.lineNumber()) + ": the Print dialog has closed";
    return after == Step::EndOfScript ? m_outcome : DialogOutcome::Failed;
}

ScriptRunner::Step ScriptRunner::step(WindowRef prompt)
{
    for (;;) {
        std::string text;
        std::string problem;
        ScriptSource::Read read = m_script.nextLine(text, &problem);
        if (read == ScriptSource::Read::End) {
            m_ranOut = true;
            return Step::EndOfScript;
        }
        int number = m_script.lineNumber();
        std::optional<ScriptLine> line;
        if (read == ScriptSource::Read::Line)
            line = parseScriptLine(text, number, &problem);
        if (!line) {
            m_error = "line " + std::to_string(number) + ": " + problem;
            return Step::Failed;
        }
        if (line->action.empty())
            continue;
        if (m_outcome != DialogOutcome::LeftOpen)
            return Step::Done;
        ScriptScene scene { m_dialog, m_transcript, prompt, m_printedLine, m_error, m_outcome };
        std::string failure;
        bool performed = performScriptAction(scene, *line, &failure);
        // A line of the prompt that failed inside a Print click has said so already.
        if (!performed && m_error.empty())
            m_error = "line " + std::to_string(line->number) + ": " + failure;
        // Once the dialog's own action is over, no prompt is up: the next one is announced anew.
        if (!prompt)
            m_announcedPrompt = nullptr;
        m_transcript.flush();
        return performed ? Step::Done : Step::Failed;
    }
}

bool ScriptRunner::performNextAction(WindowRef modalWindow)
{
    if (modalWindow != m_announcedPrompt) {
        m_announcedPrompt = modalWindow;
        m_transcript.prompt(modalWindow);
    }
    if (!m_error.empty())
        return false;
    Step step = this->step(modalWindow);
    if (step == Step::EndOfScript)
        m_error = "line " + std::to_string(m_script.lineNumber()) + ": the script ends while the prompt is up";
    return step == Step::Done;
}

void ScriptRunner::showAlert(const StandIn::AlertContent& alert)
{
    m_transcript.alert(alert);
}

void ScriptRunner::showNotice(const StandIn::NoticeContent& notice)
{
    m_transcript.notice(notice);
}

void ScriptRunner::beep()
{
    m_transcript.beep();
}

void ScriptRunner::openHelpPage(const StandIn::HelpPage& page)
{
    m_transcript.help(page);
}
