// Whoever answers the pane when a held job's Print click asks for the codes: a script (--script),
// the person on screen, or nobody. The agent chooses one desk for its whole run; each job's click
// is played with the desk's input source as the toolbox's, and with what the person meets told
// to the job's transcript.
#pragma once

#include "PrintDialog.h"
#include "ScriptSource.h"
#include "Transcript.h"

#include <memory>
#include <string>

// How the desk did with one click.
struct DeskAnswer {
    // Why the prompt came up and was not answered (empty when none came, or it was answered):
    // the job stays held.
    std::string unanswered;
    // A fault of the desk's own, for the agent's error stream; it never holds a code.
    std::string error;
};

class PromptDesk {
public:
    virtual ~PromptDesk() = default;
    // From begin to end, the desk answers whatever the dialog asks of the person.
    virtual void begin(PrintDialog& dialog, Transcript& transcript) = 0;
    virtual DeskAnswer end() = 0;
};

// Answers the prompts from one script, its lines read in order across every job's prompt. A
// script that fails, or has no more lines, answers no prompt after that.
std::unique_ptr<PromptDesk> makeScriptDesk(ScriptSource& script, const std::string& scriptName);
// The person answers on screen: the prompt comes up as a window of its own (its title names the
// job), and the pane's alerts and notices as message boxes that wait to be dismissed. The
// on-screen front end is loaded only when the pane first shows something; when it cannot show
// it, the job stays held.
std::unique_ptr<PromptDesk> makeScreenDesk();
// Answers nothing: a prompt that comes up ends at once, the job held for the reason given.
std::unique_ptr<PromptDesk> makeAbsentDesk(std::string why);
