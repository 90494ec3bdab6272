// One held job's Print click, played on its dialog, the pane never shown. As the prompt comes up
// it is dressed for the job: its title names the document and the queue ("Accounting —
// report.pdf — movra", the pane's own, localized title first), a note above the codes says what
// the person should know (where the job came from, what the printer said of the codes), and codes
// the person is to confirm are filled in; the prompt's body names the document and the queue too,
// for a desktop that shows no title bars. The pane's alert and notice, written for a Print dialog
// the person never saw, are shown in the agent's own words, which say what becomes of this job:
// the alert of the person's Cancel waits for the server's answer to the cancel, and says it, as
// information rather than an error. What the click came to is told by the one who played it.
#pragma once

#include "agent/PromptAnswerer.h"

#include <PrintCore/PMTicketStandIn.h>

#include <functional>
#include <string>
#include <vector>

// What the agent adds to a held job's prompt.
struct PromptDressing {
    std::string document;
    std::string queue;
    // A few lines above the codes: what the person should know before answering.
    std::string note {};
    // Codes typed into the prompt for the person to confirm; an empty one is left to the person.
    std::string userID {};
    std::string accountID {};
};

struct ClickOutcome {
    enum class Kind {
        // The click went on: the job goes with the settings and codes.
        Printed,
        // The prompt was cancelled: so is the job.
        Cancelled,
        // A default code is missing (the pane's notice): the job waits for the codes.
        CodeMissing,
        // The prompt came up and nobody answered it (or nobody was asked): the job waits.
        Unanswered,
        // The pane swallowed the click for a reason of its own.
        NotPrinted,
        // The click could not be played.
        Failed,
    };
    Kind kind { Kind::Failed };
    // Why, for Unanswered and Failed; never a code.
    std::string why {};
    // The answerer's own fault, for the agent's error stream.
    std::string fault {};
    // The print settings the job goes with, for Printed: they hold the codes.
    std::vector<StandIn::TicketItem> settings {};
    // The agent's words for the notice, for CodeMissing.
    std::string noticeHeader {};
    std::string noticeMessage {};
};

// What the server answered to the cancel the person chose in the prompt.
enum class CancelAnswer {
    Done,
    Refused, // with the server's reason
    Unanswered, // the server was away, or the answer never came
};
// Has the job cancelled while the person waits, and gives the server's answer (the reason in *why).
using CancelJob = std::function<CancelAnswer(std::string* why)>;

// Plays the click with the prompt dressed for the job. With an answerer, whatever the dialog asks
// of the person goes to it and is told to the transcript; without one, nobody is asked: a prompt
// that comes up ends the click as Unanswered, and nothing is told. The person's Cancel has
// cancelJob carry the cancel out before the message says what became of the job (without it, the
// message says the server has not answered).
ClickOutcome playHeldJobClick(PrintDialog& dialog, const PromptDressing& dressing, PromptAnswerer* answerer, Transcript& transcript,
    const CancelJob& cancelJob = {});

// The prompt's title for a job: the pane's title, the document and the queue. The document's
// name is the printing program's to choose, the queue's the server's: both are shown as
// printableText shows them.
std::string promptTitle(const std::string& paneTitle, const std::string& document, const std::string& queue);
