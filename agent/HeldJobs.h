// The life of the user's jobs that the agent takes up, in one place. A job is found in a listing
// of the server's; it is the agent's when a holding queue of a Movra printer held it for
// accounting, or when the printer refused the account it carried and the server held it again.
// Its dialog is opened on the queue's PPD with the person's stored settings, and its Print click
// played with nobody asked: a click that goes on is released at once with the settings and codes;
// one that needs the person (the prompt, or a notice worth a window) waits its turn for the
// person, who answers one job after another (PromptWorker.h) while every other job goes on; the
// person's answer releases or cancels it. A job whose prompt is up and that goes meanwhile closes
// its prompt.
#pragma once

#include "agent/AgentCommandLine.h"
#include "agent/ConnectionsToServer.h"
#include "agent/DesktopNotices.h"
#include "agent/JobBook.h"
#include "agent/PromptAnswerer.h"
#include "queues/PrinterCodes.h"
#include "agent/PromptWorker.h"
#include "queues/QueueSettingsStore.h"
#include "agent/ServerJobs.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <ostream>
#include <string>
#include <vector>

class HeldJobs {
public:
    // answerer is who answers the prompts; without one, nobody is asked, for the reason given.
    HeldJobs(ServerJobs& server, const QueueSettingsStore& store, const AgentOptions& options, PromptAnswerer* answerer, std::string nobodyWhy,
        std::ostream& out, std::ostream& err);

    enum class Going {
        On,
        ServerLost,
        Stopped,
    };
    // Takes up the listed jobs that are due, and closes the prompt of a job no longer listed as
    // waiting for it.
    Going take(const std::vector<ServerJob>& listed);
    // The account refusals the server's events told of.
    void noteRefusals(const std::map<int, std::string>& refusals);

    // While a prompt is up: what to watch, and what to do when it is ready.
    bool promptsWaiting() const { return m_worker.busy() || !m_waiting.empty(); }
    // Whether the job's prompt is up or waits its turn.
    bool withPerson(int job) const;
    void addDescriptors(std::vector<pollfd>& watched) const { m_worker.addDescriptors(watched); }
    Going promptReady();
    // The agent stops: the prompt up closes, the jobs stay held for the next agent; why, when
    // given, is the line said of the job whose prompt was up.
    void closePrompts(const std::string& why = "");

    // This computer's connections to the server as the agent watches them, for what a prompt
    // says of where its job came from; none watched without.
    void watchConnections(const ConnectionsToServer* connections) { m_connections = connections; }

    // Who hears the last line said of each job still listed (the agent's lock, which
    // accounting-agent --check reads), each time a line is said.
    void tellLinesTo(std::function<void(const std::map<int, std::string>&)> listener) { m_tellLines = std::move(listener); }

    JobBook& book() { return m_book; }
    // Whether handling a job wrote an error (with --once, the agent's exit status says so).
    bool errorsTold() const { return m_errorsTold; }

private:
    JobFate takeUp(const ServerJob& job);
    // What becomes of a job that is not the agent's to take up (it carries its codes, a person
    // held it, its queue's settings cannot be read), told; none when it is the agent's.
    std::optional<JobFate> screen(const ServerJob& job);
    // A queue of a printer the Accounting pane serves: the pane's settings decide.
    JobFate takeUpForPane(const ServerJob& job, PromptTask task);
    JobFate withPerson(PromptTask task, const ServerJob& job);
    JobFate afterClick(const ServerJob& job, const ClickOutcome& outcome);
    JobFate release(const ServerJob& job, const std::vector<StandIn::TicketItem>& settings);
    // A queue whose printer asks for codes of its own: its stored settings, and the window built
    // from its codes where the person is asked.
    JobFate takeUpForPrinterCodes(const ServerJob& job, PromptTask task, const PrinterCodes& codes);
    // Releases the job with the codes that settings give for its printer's, each checked again:
    // a value its code does not allow is never sent.
    JobFate releaseWithPrinterCodes(const ServerJob& job, const PrinterCodes& codes, const QueueSettings& settings);
    JobFate cancel(const ServerJob& job);
    // A step of taking the job up failed: error is told, and the job left held for why.
    JobFate leftHeld(const ServerJob& job, const std::string& why, const std::string& error);
    // The server went away, or the agent is asked to stop.
    JobFate lostOrStopped() const;
    // Tells that the printer refused the job's account, and gives the prompt's note that says so.
    std::string refusalNote(const ServerJob& job);
    // Where the job came from, in the person's words for it, so that a print of one's own can be told
    // from one made in one's name: the document, the queue and when, which the server says; the
    // computer it came from, which is the sender's word (a program on the server's machine names any
    // host it likes); and what the agent saw itself: whether one of the person's programs on this
    // computer was connected to the server as the job was made.
    std::string originNote(const ServerJob& job) const;
    QueueSettingsStore::Warning warner();
    // What became of job once the server answered a release or a cancel (done) with reply.
    JobFate settled(const ServerJob& job, Reply reply, const std::string& error, JobFate done);
    void startNextPrompt();
    void say(const ServerJob& job, const std::string& event);
    void tellError(const std::string& error);
    bool takesJobsInAnyName(const ServerJob& job, bool* lost);
    // Whether the server would show the job's codes to anyone who asks in the person's name: then
    // none are sent, and *fate says what became of the job (left held, or the server lost).
    bool codesWouldBeShown(const ServerJob& job, JobFate* fate);

    ServerJobs& m_server;
    const QueueSettingsStore& m_store;
    const AgentOptions& m_options;
    PromptAnswerer* m_answerer;
    std::string m_nobodyWhy;
    std::ostream& m_out;
    std::ostream& m_err;
    JobBook m_book;
    PromptWorker m_worker;
    // Jobs whose prompt waits its turn, with the job as it was listed.
    std::deque<std::pair<ServerJob, PromptTask>> m_waiting;
    std::optional<ServerJob> m_prompted;
    // Answers given while the server was away, by job.
    std::deque<std::pair<int, ClickOutcome>> m_answered;
    // The server's answer to the cancel the person chose in the prompt up, sent while the prompt's
    // process waited for it.
    struct CancelSent {
        int job;
        Reply reply;
        std::string error;
    };
    std::optional<CancelSent> m_cancelSent;
    // Set when the prompt up was closed because its job went meanwhile.
    bool m_promptClosedForJob { false };
    bool m_errorsTold { false };
    bool m_anyNameTold { false };
    bool m_codesShownTold { false };
    const ConnectionsToServer* m_connections { nullptr };
    // The codes of each queue whose printer asks for codes of its own, as last read, for the
    // release of its jobs once the person answered.
    std::map<std::string, PrinterCodes> m_printerCodes;
    // The queues whose stored settings could not be read in the listing taken now.
    std::set<std::string> m_unreadableQueues;
    DesktopNotices m_notices;
    // The last line said of each job still listed, and who hears them.
    std::map<int, std::string> m_lines;
    std::function<void(const std::map<int, std::string>&)> m_tellLines;
};
