#include "PromptDesk.h"

#include "ScriptRunner.h"
#include "StopSignals.h"

#include <HIToolbox/InputSourceStandIn.h>

#include <optional>

namespace {

// The toolbox's input source when nobody can answer: what the pane shows is told, and a prompt
// ends as soon as it asks for its first action.
class NobodyAtTheKeyboard : public StandIn::InputSource {
public:
    explicit NobodyAtTheKeyboard(Transcript& transcript)
        : m_transcript(transcript)
        , m_previous(StandIn::inputSource())
    {
        StandIn::setInputSource(this);
    }
    ~NobodyAtTheKeyboard() override { StandIn::setInputSource(m_previous); }
    NobodyAtTheKeyboard(const NobodyAtTheKeyboard&) = delete;
    NobodyAtTheKeyboard& operator=(const NobodyAtTheKeyboard&) = delete;

    bool asked() const { return m_asked; }

    bool performNextAction(WindowRef) override
    {
        m_asked = true;
        return false;
    }
    void showAlert(const StandIn::AlertContent& alert) override { m_transcript.alert(alert); }
    void showNotice(const StandIn::NoticeContent& notice) override { m_transcript.notice(notice); }
    void beep() override { m_transcript.beep(); }
    void openHelpPage(const StandIn::HelpPage& page) override { m_transcript.help(page); }

private:
    Transcript& m_transcript;
    StandIn::InputSource* m_previous;
    bool m_asked { false };
};

class AbsentDesk : public PromptDesk {
public:
    explicit AbsentDesk(std::string why)
        : m_why(std::move(why))
    {
    }

    void begin(PrintDialog&, Transcript& transcript) override { m_nobody.emplace(transcript); }
    DeskAnswer end() override
    {
        bool asked = m_nobody->asked();
        m_nobody.reset();
        return { asked ? m_why : "", "" };
    }

private:
    std::string m_why;
    std::optional<NobodyAtTheKeyboard> m_nobody;
};

class ScriptDesk : public PromptDesk {
public:
    ScriptDesk(ScriptSource& script, std::string scriptName)
        : m_script(script)
        , m_scriptName(std::move(scriptName))
    {
    }

    void begin(PrintDialog& dialog, Transcript& transcript) override
    {
        if (!m_stopped.empty()) {
            m_nobody.emplace(transcript);
            return;
        }
        // A script on standard input may be typed by a person who is slow to answer.
        if (m_scriptName == "-")
            m_signals.emplace();
        m_runner.emplace(dialog, m_script, transcript, PrintedLine::LeftToSubmitter);
    }

    DeskAnswer end() override
    {
        if (m_nobody) {
            bool asked = m_nobody->asked();
            m_nobody.reset();
            return { asked ? m_stopped : "", "" };
        }
        DeskAnswer answer;
        if (!m_runner->error().empty()) {
            m_stopped = m_runner->ranOut() ? "the script has no more lines to answer the prompt with"
                                           : "the script stopped at line " + std::to_string(m_script.lineNumber());
            answer.unanswered = m_stopped;
            if (!m_runner->ranOut())
                answer.error = (m_scriptName == "-" ? std::string("standard input") : m_scriptName) + ": " + m_runner->error();
        }
        m_runner.reset();
        m_signals.reset();
        return answer;
    }

private:
    ScriptSource& m_script;
    std::string m_scriptName;
    std::string m_stopped;
    std::optional<ScriptRunner> m_runner;
    std::optional<StopSignals::Unblocked> m_signals;
    std::optional<NobodyAtTheKeyboard> m_nobody;
};

}

std::unique_ptr<PromptDesk> makeScriptDesk(ScriptSource& script, const std::string& scriptName)
{
    return std::make_unique<ScriptDesk>(script, scriptName);
}

std::unique_ptr<PromptDesk> makeAbsentDesk(std::string why)
{
    return std::make_unique<AbsentDesk>(std::move(why));
}
