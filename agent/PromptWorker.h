// A held job's click that needs a person is played in a process of its own, forked from the agent
// with everything the click needs: the agent goes on with every other job while the person
// thinks, a window system that takes its process down (Qt aborts when it cannot reach the display)
// takes only that process down, and the agent can close the prompt when the job goes meanwhile or
// the agent is asked to stop. One prompt at a time: a person answers one after another. The
// person's Cancel is carried out by the agent while the prompt's process waits for its answer, so
// that the message the person then reads says what the server did.
#pragma once

#include "agent/HeldJobClick.h"
#include "agent/WindowMessage.h"
#include "dialog/QueueDialog.h"

#include <optional>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <vector>

// What a worker plays: the job's dialog as the agent opened it, the settings to put into it
// first (none: as opened), and how its prompt is dressed.
struct PromptTask {
    int job { 0 };
    std::string queue;
    QueueDialog queueDialog;
    PrintDialogSetup setup;
    std::vector<StandIn::TicketItem> preset;
    PromptDressing dressing;
    // "job N QUEUE: ", before each of the worker's lines.
    std::string linePrefix;
    // A queue whose printer asks for codes of its own: the window built from them, in place of
    // the dialog's click. The outcome's settings then hold the codes the person gave
    // (QueueSettings::printerCode).
    std::optional<CodesForm> codesForm {};
};

class PromptWorker {
public:
    PromptWorker() = default;
    // A worker still running is asked to close its prompt, and waited for.
    ~PromptWorker();
    PromptWorker(const PromptWorker&) = delete;
    PromptWorker& operator=(const PromptWorker&) = delete;

    // Starts the task's click in a process of its own, answered by answerer, telling out. False,
    // with the reason in *error, when no process can be made.
    bool start(const PromptTask& task, PromptAnswerer& answerer, std::ostream& out, std::string* error);
    bool busy() const { return m_process > 0; }

    // What to watch while it runs.
    void addDescriptors(std::vector<pollfd>& watched) const;
    // Takes in what the worker wrote; true when the person chose Cancel and the worker waits for
    // answerCancel.
    bool cancelAsked();
    void answerCancel(CancelAnswer answer, const std::string& why);
    // Takes in what the worker wrote; true once it has ended, with its outcome given (the
    // answerer's state taken over) and what it wrote to standard error in *errors. A worker that
    // ended without an outcome (it crashed) gives Failed, with errors saying why.
    bool collect(PromptAnswerer& answerer, ClickOutcome* outcome, std::string* errors);
    // Asks the worker to close its prompt, as the agent is asked to stop; its outcome follows.
    void close();

private:
    void takeIn(int* descriptor, std::string* into);
    // Takes in what the worker wrote, and the messages it makes.
    void takeInMessages();
    void reset();

    pid_t m_process { -1 };
    int m_result { -1 };
    int m_errors { -1 };
    // The agent's answer to a cancel, to the worker.
    int m_cancelAnswer { -1 };
    bool m_cancelAnswered { false };
    // What the worker said so far; bytes that make no message end what it says.
    bool m_reached { false };
    bool m_cancelAsked { false };
    bool m_garbled { false };
    std::optional<WindowMessage> m_outcome;
    std::string m_resultBytes;
    std::string m_errorBytes;
};
