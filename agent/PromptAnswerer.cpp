#include "agent/PromptAnswerer.h"

#include "agent/CodesWindowProcess.h"
#include "agent/PasswordWindowProcess.h"
#include "program/ProcessGuards.h"
#include "dialog/ScriptCodes.h"
#include "dialog/ScriptPassword.h"
#include "dialog/ScreenModule.h"
#include "dialog/ScriptRunner.h"

#include <HIToolbox/InputSourceStandIn.h>

#include <optional>
#include <sstream>

namespace {

// What the pane shows during the click, told to the transcript and handed to the screen, where
// the person answers the prompt.
class TranscribingSource : public StandIn::InputSource {
public:
    TranscribingSource(Transcript& transcript, StandIn::InputSource* screen)
        : m_transcript(transcript)
        , m_screen(screen)
    {
    }

    bool performNextAction(WindowRef prompt) override
    {
        if (prompt != m_announced) {
            m_announced = prompt;
            m_transcript.prompt(prompt);
        }
        return m_screen->performNextAction(prompt);
    }
    void showAlert(const StandIn::AlertContent& alert) override
    {
        m_transcript.alert(alert);
        m_screen->showAlert(alert);
    }
    void showNotice(const StandIn::NoticeContent& notice) override
    {
        m_transcript.notice(notice);
        m_screen->showNotice(notice);
    }
    void beep() override
    {
        m_transcript.beep();
        m_screen->beep();
    }
    void openHelpPage(const StandIn::HelpPage& page) override
    {
        m_transcript.help(page);
        m_screen->openHelpPage(page);
    }

private:
    Transcript& m_transcript;
    StandIn::InputSource* m_screen;
    WindowRef m_announced { nullptr };
    StandIn::InputSourceInstallation m_installation { this };
};

class ScreenAnswerer : public PromptAnswerer {
public:
    bool showsNotices() const override { return true; }

    void begin(PrintDialog& dialog, Transcript& transcript) override
    {
        std::string error;
        m_frontEnd = loadScreenModule(&error);
        m_shown = m_frontEnd ? m_frontEnd->openClickOnScreen(dialog, &error) : nullptr;
        if (!m_shown) {
            m_fault = error;
            return;
        }
        reached();
        m_source.emplace(transcript, m_shown);
    }

    std::string unreachable() const override { return "it needs the prompt, and the prompt cannot go on screen"; }

    bool askPassword(const PasswordQuestion& question, std::ostream& transcript, PasswordAnswer* answer, std::string* why, std::string*) override
    {
        return answerPasswordInWindow(question, transcript, askPasswordOnScreen, answer, why);
    }

    CodesFormAnswer askCodes(CodesForm* form, std::ostream& transcript, std::string* why, std::string*) override
    {
        return answerCodesInWindow(form, transcript, askCodesOnScreen, why);
    }

    Answer end() override
    {
        Answer answer { m_shown ? "" : unreachable(), m_fault };
        m_source.reset();
        if (m_shown)
            m_frontEnd->closeClickOnScreen(m_shown);
        m_shown = nullptr;
        m_fault.clear();
        return answer;
    }

private:
    const ScreenModule* m_frontEnd { nullptr };
    StandIn::InputSource* m_shown { nullptr };
    std::string m_fault;
    std::optional<TranscribingSource> m_source;
};

class ScriptAnswerer : public PromptAnswerer {
public:
    ScriptAnswerer(ScriptSource& script, std::string scriptName)
        : m_script(script)
        , m_scriptName(std::move(scriptName))
    {
    }

    bool showsNotices() const override { return false; }

    std::string unreachable() const override { return "the script cannot be read"; }

    bool askPassword(const PasswordQuestion& question, std::ostream& transcript, PasswordAnswer* answer, std::string* why,
        std::string* error) override
    {
        if (!m_stopped.empty()) {
            *why = m_stopped;
            return false;
        }
        ScriptPasswordAnswer given = answerPasswordFromScript(m_script, question, transcript, answer, why, error);
        if (given == ScriptPasswordAnswer::Stopped)
            m_stopped = *why;
        if (!error->empty())
            *error = scriptNamed() + ": " + *error;
        return given == ScriptPasswordAnswer::Given;
    }

    CodesFormAnswer askCodes(CodesForm* form, std::ostream& transcript, std::string* why, std::string* error) override
    {
        if (!m_stopped.empty()) {
            *why = m_stopped;
            return CodesFormAnswer::Unanswered;
        }
        CodesFormAnswer answer = answerCodesFromScript(m_script, form, transcript, why, error);
        if (answer == CodesFormAnswer::Unanswered)
            m_stopped = *why;
        if (!error->empty())
            *error = scriptNamed() + ": " + *error;
        return answer;
    }

    void begin(PrintDialog& dialog, Transcript& transcript) override
    {
        reached();
        if (m_stopped.empty())
            m_runner.emplace(dialog, m_script, transcript, PrintedLine::LeftToSubmitter);
    }

    Answer end() override
    {
        Answer answer;
        if (!m_runner) {
            answer.unanswered = m_stopped;
            return answer;
        }
        // A read that the agent's stop ended leaves the script as it was, for the next agent.
        if (interruptionRequested() && !m_runner->error().empty()) {
            answer.unanswered = "its prompt was closed";
            m_runner.reset();
            return answer;
        }
        if (!m_runner->error().empty()) {
            m_stopped = m_runner->ranOut() ? "the script has no more lines to answer the prompt with"
                                           : "the script stopped at line " + std::to_string(m_script.lineNumber());
            answer.unanswered = m_stopped;
            if (!m_runner->ranOut())
                answer.error = scriptNamed() + ": " + m_runner->error();
        }
        m_runner.reset();
        return answer;
    }

    // Where the script is: whether it stopped answering, and the script source's place.
    std::string state() const override { return m_stopped + '\0' + m_script.state(); }
    void takeState(const std::string& state) override
    {
        size_t end = state.find('\0');
        if (end == std::string::npos)
            return;
        m_stopped = state.substr(0, end);
        m_script.takeState(state.substr(end + 1));
    }

private:
    // The script as its errors name it.
    std::string scriptNamed() const { return m_scriptName == "-" ? std::string("standard input") : m_scriptName; }

    ScriptSource& m_script;
    std::string m_scriptName;
    std::string m_stopped;
    std::optional<ScriptRunner> m_runner;
};

}

std::unique_ptr<PromptAnswerer> makeScriptAnswerer(ScriptSource& script, const std::string& scriptName)
{
    return std::make_unique<ScriptAnswerer>(script, scriptName);
}

std::unique_ptr<PromptAnswerer> makeScreenAnswerer()
{
    return std::make_unique<ScreenAnswerer>();
}
