#include "PromptDesk.h"

#include "ScreenFrontEnd.h"
#include "ScriptRunner.h"

#include <HIToolbox/InputSourceStandIn.h>

#include <optional>

namespace {

// Whoever can put the click's windows on screen, asked only when the pane shows something, so
// that a job that needs nobody never loads the GUI toolkit.
class Screen {
public:
    virtual ~Screen() = default;
    // The source that shows the click's windows; null, with the reason in *why, when there is none.
    virtual StandIn::InputSource* open(std::string* why) = 0;
};

// The toolbox's input source for one click when no script answers: what the pane shows is told
// to the transcript and, when there is a screen, shown on it, where the person answers the prompt.
// Without a screen a prompt ends as soon as it asks for its first action.
class TellingSource : public StandIn::InputSource {
public:
    TellingSource(Transcript& transcript, Screen* screen)
        : m_transcript(transcript)
        , m_screen(screen)
        , m_previous(StandIn::inputSource())
    {
        StandIn::setInputSource(this);
    }
    ~TellingSource() override { StandIn::setInputSource(m_previous); }
    TellingSource(const TellingSource&) = delete;
    TellingSource& operator=(const TellingSource&) = delete;

    // Why a prompt came up and nobody could be asked; empty when none did or someone was.
    const std::string& unanswered() const { return m_unanswered; }

    bool performNextAction(WindowRef prompt) override
    {
        std::string why;
        StandIn::InputSource* shown = screen(&why);
        if (!shown) {
            m_unanswered = why;
            return false;
        }
        if (prompt != m_announced) {
            m_announced = prompt;
            m_transcript.prompt(prompt);
        }
        return shown->performNextAction(prompt);
    }
    void showAlert(const StandIn::AlertContent& alert) override
    {
        m_transcript.alert(alert);
        std::string ignored;
        if (StandIn::InputSource* shown = screen(&ignored))
            shown->showAlert(alert);
    }
    void showNotice(const StandIn::NoticeContent& notice) override
    {
        m_transcript.notice(notice);
        std::string ignored;
        if (StandIn::InputSource* shown = screen(&ignored))
            shown->showNotice(notice);
    }
    void beep() override
    {
        m_transcript.beep();
        if (m_shown)
            m_shown->beep();
    }
    void openHelpPage(const StandIn::HelpPage& page) override
    {
        m_transcript.help(page);
        if (m_shown)
            m_shown->openHelpPage(page);
    }

private:
    StandIn::InputSource* screen(std::string* why)
    {
        if (!m_shown && m_screen)
            m_shown = m_screen->open(why);
        return m_shown;
    }

    Transcript& m_transcript;
    Screen* m_screen;
    StandIn::InputSource* m_previous;
    StandIn::InputSource* m_shown { nullptr };
    WindowRef m_announced { nullptr };
    std::string m_unanswered;
};

// Nobody to ask: the reason stands for every prompt.
class Nobody : public Screen {
public:
    explicit Nobody(std::string why)
        : m_why(std::move(why))
    {
    }
    StandIn::InputSource* open(std::string* why) override
    {
        *why = m_why;
        return nullptr;
    }

private:
    std::string m_why;
};

class AbsentDesk : public PromptDesk {
public:
    explicit AbsentDesk(std::string why)
        : m_nobody(std::move(why))
    {
    }

    void begin(PrintDialog&, Transcript& transcript) override { m_source.emplace(transcript, &m_nobody); }
    DeskAnswer end() override
    {
        DeskAnswer answer { m_source->unanswered(), "" };
        m_source.reset();
        return answer;
    }

private:
    Nobody m_nobody;
    std::optional<TellingSource> m_source;
};

// The person on screen answers each prompt, through the on-screen front end.
class ScreenDesk : public PromptDesk, private Screen {
public:
    void begin(PrintDialog& dialog, Transcript& transcript) override
    {
        m_dialog = &dialog;
        m_source.emplace(transcript, static_cast<Screen*>(this));
    }

    DeskAnswer end() override
    {
        DeskAnswer answer { m_source->unanswered(), m_fault };
        m_source.reset();
        if (m_shown)
            m_frontEnd->closeClickOnScreen(m_shown);
        m_shown = nullptr;
        m_fault.clear();
        return answer;
    }

private:
    StandIn::InputSource* open(std::string* why) override
    {
        // The toolkit is loaded once the first job needs it, and kept.
        std::string error;
        m_frontEnd = loadScreenFrontEnd(&error);
        m_shown = m_frontEnd ? m_frontEnd->openClickOnScreen(*m_dialog, &error) : nullptr;
        if (!m_shown) {
            *why = "it needs the prompt, and the prompt cannot go on screen";
            m_fault = error;
        }
        return m_shown;
    }

    const ScreenFrontEnd* m_frontEnd { nullptr };
    PrintDialog* m_dialog { nullptr };
    StandIn::InputSource* m_shown { nullptr };
    std::string m_fault;
    std::optional<TellingSource> m_source;
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
            m_nobody.emplace(m_stopped);
            m_source.emplace(transcript, &*m_nobody);
            return;
        }
        m_runner.emplace(dialog, m_script, transcript, PrintedLine::LeftToSubmitter);
    }

    DeskAnswer end() override
    {
        if (m_source) {
            DeskAnswer answer { m_source->unanswered(), "" };
            m_source.reset();
            return answer;
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
        return answer;
    }

private:
    ScriptSource& m_script;
    std::string m_scriptName;
    std::string m_stopped;
    std::optional<ScriptRunner> m_runner;
    std::optional<Nobody> m_nobody;
    std::optional<TellingSource> m_source;
};

}

std::unique_ptr<PromptDesk> makeScriptDesk(ScriptSource& script, const std::string& scriptName)
{
    return std::make_unique<ScriptDesk>(script, scriptName);
}

std::unique_ptr<PromptDesk> makeScreenDesk()
{
    return std::make_unique<ScreenDesk>();
}

std::unique_ptr<PromptDesk> makeAbsentDesk(std::string why)
{
    return std::make_unique<AbsentDesk>(std::move(why));
}
