// Whoever answers a held job's prompt: a script (--script), its lines read in order across every
// job's prompt, or the person on screen. For one click at a time the answerer's input source is
// the toolbox's, with what the person meets told to the job's transcript. A click that needs a
// person is played in a process of its own (PromptWorker.h), so that the answerer's state (where
// the script is) is handed back to the agent when the click is done.
#pragma once

#include "dialog/Answerer.h"
#include "dialog/PrintDialog.h"
#include "dialog/ScriptSource.h"
#include "dialog/Transcript.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>

// How the answerer did with one click.
struct Answer {
    // Why the prompt came up and was not answered (empty when it was, or none came): the job
    // stays held.
    std::string unanswered;
    // A fault of the answerer's own, for the agent's error stream; it never holds a code.
    std::string error;
};

// The password and codes windows (Answerer.h) come between clicks.
class PromptAnswerer : public Answerer {
public:
    // Whether a click that only shows a notice (a default code missing) is worth a window: on
    // screen it is; a script answers prompts alone.
    virtual bool showsNotices() const = 0;
    // From begin to end, the answerer answers whatever the dialog asks of the person.
    virtual void begin(PrintDialog& dialog, Transcript& transcript) = 0;
    virtual Answer end() = 0;
    // What a click changed of the answerer (where the script is), as text to hand over from the
    // process that played the click, and taken over in the agent.
    virtual std::string state() const { return ""; }
    virtual void takeState(const std::string&) { }

    // Called as the person comes within reach during begin (the screen opened for the prompt): a
    // process playing the click that ends before that never reached the person, and the job waits
    // for the reason unreachable gives.
    void onReach(std::function<void()> reached) { m_reached = std::move(reached); }
    virtual std::string unreachable() const = 0;

protected:
    void reached()
    {
        if (m_reached)
            m_reached();
    }

private:
    std::function<void()> m_reached;
};

// Answers the prompts from one script. A script that fails, or has no more lines, answers no
// prompt after that.
std::unique_ptr<PromptAnswerer> makeScriptAnswerer(ScriptSource& script, const std::string& scriptName);
// The person answers on screen, through the screen module: the prompt comes up as a window
// of its own (its title names the job), alerts and notices as message boxes that wait to be
// dismissed. When the screen module cannot show them, the job stays held.
std::unique_ptr<PromptAnswerer> makeScreenAnswerer();
