#include "agent/HeldJobs.h"

#include "queues/CodeValues.h"
#include "queues/CodesAtPrint.h"
#include "queues/CodesPrivacy.h"
#include "agent/PaneDiagnostics.h"
#include "program/PrintableText.h"
#include "program/ProcessGuards.h"
#include "program/ProgramTexts.h"
#include "queues/QueueSettings.h"

#include <algorithm>
#include <ctime>
#include <sstream>

namespace {

std::string linePrefix(const ServerJob& job)
{
    return "job " + std::to_string(job.id) + " " + printableText(job.queue) + ": ";
}

// What the printer said of the account, from what the server said as it held the job (CUPS's
// words for the four account statuses), in the person's language.
std::string refusalReason(const std::string& said)
{
    const char* reason = said.find("authorization") != std::string::npos ? "Refusal Authorization Failed"
        : said.find("information") != std::string::npos                  ? "Refusal Information Needed"
        : said.find("closed") != std::string::npos                       ? "Refusal Account Closed"
        : said.find("limit") != std::string::npos                        ? "Refusal Limit Reached"
                                                                         : "Refusal Unknown";
    return programText(reason);
}

constexpr const char* kSettingsUnreadable = "its queue's stored settings cannot be read";

// The listed job id, when the server still holds it for the person.
const ServerJob* stillHeld(const std::vector<ServerJob>& listed, int id)
{
    auto found = std::find_if(listed.begin(), listed.end(), [id](const ServerJob& job) { return job.id == id; });
    return found != listed.end() && (found->heldIndefinitely || found->refusedByPrinter) ? &*found : nullptr;
}

}

HeldJobs::HeldJobs(ServerJobs& server, const QueueSettingsStore& store, const AgentOptions& options, PromptAnswerer* answerer, std::string nobodyWhy,
    std::ostream& out, std::ostream& err)
    : m_server(server)
    , m_store(store)
    , m_options(options)
    , m_answerer(answerer)
    , m_nobodyWhy(std::move(nobodyWhy))
    , m_out(out)
    , m_err(err)
{
}

void HeldJobs::say(const ServerJob& job, const std::string& event)
{
    m_out << linePrefix(job) << event << "\n"
          << std::flush;
    m_lines[job.id] = event;
    if (m_tellLines)
        m_tellLines(m_lines);
    // A job left waiting is told on the desktop too, where the person looks.
    const std::string leftHeld = "left held: ";
    std::string error;
    if (event.rfind(leftHeld, 0) == 0 && !m_notices.tellJobWaits(job.id, job.name, job.queue, event.substr(leftHeld.size()), &error))
        tellError(error);
}

void HeldJobs::tellError(const std::string& error)
{
    m_err << "accounting-agent: " << printableText(error) << "\n";
    m_errorsTold = true;
}

bool HeldJobs::withPerson(int job) const
{
    return (m_prompted && m_prompted->id == job) || std::any_of(m_waiting.begin(), m_waiting.end(), [job](const auto& waiting) { return waiting.first.id == job; });
}

void HeldJobs::noteRefusals(const std::map<int, std::string>& refusals)
{
    for (const auto& [job, text] : refusals)
        m_book.noteRefusal(job, text);
}

HeldJobs::Going HeldJobs::take(const std::vector<ServerJob>& listed)
{
    // A prompt whose job went meanwhile (printed, cancelled, released elsewhere) is closed, and
    // one waiting its turn is dropped.
    if (m_prompted && !m_promptClosedForJob && !stillHeld(listed, m_prompted->id)) {
        m_promptClosedForJob = true;
        m_worker.close();
    }
    std::erase_if(m_waiting, [&listed](const auto& waiting) { return !stillHeld(listed, waiting.first.id); });
    std::erase_if(m_lines, [&listed](const auto& line) { return !stillHeld(listed, line.first); });
    // The person's answers that waited for the server are carried out for the jobs still held.
    while (!m_answered.empty()) {
        auto& [id, outcome] = m_answered.front();
        if (const ServerJob* found = stillHeld(listed, id)) {
            JobFate fate = afterClick(*found, outcome);
            if (fate == JobFate::ServerLost || fate == JobFate::Stopped)
                return fate == JobFate::Stopped ? Going::Stopped : Going::ServerLost;
            m_book.record(*found, fate);
        }
        m_answered.pop_front();
    }
    m_unreadableQueues.clear();
    for (const ServerJob& job : m_book.due(listed, JobBook::Clock::now())) {
        if (interruptionRequested())
            return Going::Stopped;
        JobFate fate = takeUp(job);
        m_book.record(job, fate);
        if (fate == JobFate::Stopped)
            return Going::Stopped;
        if (fate == JobFate::ServerLost)
            return Going::ServerLost;
    }
    startNextPrompt();
    return Going::On;
}

bool HeldJobs::takesJobsInAnyName(const ServerJob& job, bool* lost)
{
    bool anyName = false;
    std::string error;
    *lost = m_server.queueTakesJobsInAnyName(job.queue, &anyName, &error) == Reply::Lost;
    if (*lost && !interruptionRequested())
        tellError(error);
    if (anyName && !m_anyNameTold) {
        m_err << "accounting-agent: " << m_server.serverName() << " accepts jobs in another user's name: stored codes are confirmed on screen; see the administrators' guide, administration.md\n";
        m_anyNameTold = true;
    }
    return anyName;
}

bool HeldJobs::codesWouldBeShown(const ServerJob& job, JobFate* fate)
{
    bool onlyProven = false;
    std::string error;
    if (m_server.queueShowsJobsOnlyToProvenUsers(job.queue, job.id, &onlyProven, &error) == Reply::Lost) {
        if (!interruptionRequested())
            tellError(error);
        *fate = interruptionRequested() ? JobFate::Stopped : JobFate::ServerLost;
        return true;
    }
    if (onlyProven)
        return false;
    if (!m_codesShownTold) {
        m_err << "accounting-agent: " << codesWouldBeShownAdvice(printableText(m_server.serverName())) << "\n";
        m_codesShownTold = true;
    }
    say(job, "left held: no code is sent to " + printableText(m_server.serverName()) + ", which shows the codes of your jobs to anyone who asks in your name, until an administrator changes its policy "
                                                                                       "(\"printdialog --list-codes --printer "
            + printableText(job.queue) + "\" gives the lines)");
    *fate = JobFate::LeftHeld;
    return true;
}

JobFate HeldJobs::takeUp(const ServerJob& job)
{
    if (std::optional<JobFate> notOurs = screen(job))
        return *notOurs;
    PromptTask task { job.id, job.queue, {}, {}, {}, { job.name, job.queue }, linePrefix(job) };
    std::string error;
    if (!task.queueDialog.fetch(m_server.destination(job.queue), &error))
        return leftHeld(job, "its printer's PPD cannot be had", error);
    PrinterCodes printerCodes;
    if (!task.queueDialog.printerCodes(&printerCodes, &error))
        return leftHeld(job, "its printer's codes cannot be read", error);
    m_printerCodes.erase(job.queue);
    if (!printerCodes.paneOwn && !printerCodes.codes.empty())
        return takeUpForPrinterCodes(job, std::move(task), printerCodes);
    return takeUpForPane(job, std::move(task));
}

std::optional<JobFate> HeldJobs::screen(const ServerJob& job)
{
    if (!job.refusedByPrinter) {
        if (job.carriesAccounting) {
            say(job, "left alone: it carries accounting codes already");
            return JobFate::LeftAlone;
        }
        // A job that a person held on a queue that holds nothing for accounting waits for them.
        bool holding = false;
        std::string error;
        Reply reply = m_server.queueHoldsNewJobs(job.queue, &holding, &error);
        if (reply == Reply::Lost) {
            if (!interruptionRequested())
                tellError(error);
            return lostOrStopped();
        }
        if (reply == Reply::Refused)
            return leftHeld(job, "the server does not say whether its queue holds jobs for accounting", linePrefix(job) + error);
        if (!holding) {
            say(job, "left alone: it was held on purpose, on a queue that does not hold jobs for accounting");
            return JobFate::LeftAlone;
        }
    }
    // Settings that could not be read (a keyring whose unlock prompt the person dismissed) are not
    // asked for again for the queue's other jobs of the same listing.
    if (m_unreadableQueues.count(job.queue)) {
        say(job, std::string("left held: ") + kSettingsUnreadable);
        return JobFate::LeftHeld;
    }
    return std::nullopt;
}

JobFate HeldJobs::takeUpForPane(const ServerJob& job, PromptTask task)
{
    std::string error;
    if (!task.queueDialog.setup("", m_store, m_options.plugInPath, m_options.primaryPlugInPath, DialogPurpose::Print,
            QueueSettingsStore::CodesRead::WhenSent, warner(), &task.setup, &error)) {
        m_unreadableQueues.insert(job.queue);
        return leftHeld(job, kSettingsUnreadable, error);
    }
    PrintDialog dialog;
    bool opened = false;
    {
        PaneDiagnostics diagnostics(m_options.verbose, m_err);
        opened = dialog.open(task.setup, &error);
    }
    if (!opened)
        return leftHeld(job, "the Print dialog cannot be opened for it", error);
    if (!dialog.printClickHooked()) {
        say(job, "left alone: the Accounting pane does not serve its printer");
        return JobFate::LeftAlone;
    }

    QueueSettings settings(dialog.printSettings());
    if (job.refusedByPrinter) {
        // The codes the printer refused are not sent again, nor shown: the person gives others.
        task.dressing.note = refusalNote(job);
        if (!settings.accountingOn())
            settings.set(QueueSettings::Entry::Mode, 3);
        settings.set(QueueSettings::Entry::Prompt, 1);
        task.preset = settings.items();
        return withPerson(std::move(task), job);
    }
    // Where anyone may print in the user's name, the job may not be the user's: the person sees
    // where it came from, and stored codes go with it only once the person confirms them.
    bool lost = false;
    if (takesJobsInAnyName(job, &lost)) {
        task.dressing.note = originNote(job);
        if (settings.sendsStoredCodes()) {
            task.dressing.userID = settings.code(QueueSettings::Entry::UserID);
            task.dressing.accountID = settings.code(QueueSettings::Entry::AccountID);
            settings.set(QueueSettings::Entry::Prompt, 1);
            task.preset = settings.items();
        }
    }
    if (lost)
        return lostOrStopped();
    if (!task.preset.empty()) {
        PaneDiagnostics diagnostics(m_options.verbose, m_err);
        dialog.preset(task.preset);
    }
    // Played once with nobody asked: what the click needs decides who plays it for real.
    std::ostringstream unheard;
    Transcript silent(unheard);
    ClickOutcome outcome = playHeldJobClick(dialog, task.dressing, nullptr, silent);
    if (interruptionRequested())
        return JobFate::Stopped;
    bool needsPerson = outcome.kind == ClickOutcome::Kind::Unanswered || (outcome.kind == ClickOutcome::Kind::CodeMissing && m_answerer && m_answerer->showsNotices());
    if (needsPerson)
        return withPerson(std::move(task), job);
    if (outcome.kind == ClickOutcome::Kind::CodeMissing)
        Transcript(m_out, task.linePrefix).notice({ outcome.noticeHeader, outcome.noticeMessage });
    return afterClick(job, outcome);
}

JobFate HeldJobs::takeUpForPrinterCodes(const ServerJob& job, PromptTask task, const PrinterCodes& codes)
{
    QueueSettings settings = QueueSettings::unstored();
    std::string error;
    if (m_store.holds(task.queueDialog.destination())
        && !m_store.load(task.queueDialog.destination(), QueueSettingsStore::CodesRead::WhenSent, warner(), &settings, &error)) {
        m_unreadableQueues.insert(job.queue);
        return leftHeld(job, kSettingsUnreadable, error);
    }
    CodesForm form;
    form.document = job.name;
    form.queue = job.queue;
    CodesAtPrint atPrint = codesAtPrint(codes, settings, &form);
    if (atPrint == CodesAtPrint::TooMany) {
        say(job, "left held: " + tooManyCodes(codes));
        return JobFate::LeftHeld;
    }
    m_printerCodes[job.queue] = codes;
    if (job.refusedByPrinter) {
        // The codes the printer refused are not sent again, nor shown: the person gives others.
        for (CodeField& field : form.fields)
            field.value.clear();
        form.note = refusalNote(job);
    } else if (atPrint == CodesAtPrint::AsItCame) {
        say(job, "goes as it came: accounting is off for its queue");
        Reply reply = m_server.releaseWithCodes(job.id, {}, &error);
        return settled(job, reply, error, JobFate::Released);
    } else {
        // Where anyone may print in the user's name, the person sees where the job came from and
        // confirms stored codes before they go.
        bool lost = false;
        bool anyName = takesJobsInAnyName(job, &lost);
        if (lost)
            return lostOrStopped();
        if (anyName)
            form.note = originNote(job);
        else if (atPrint == CodesAtPrint::Stored)
            return releaseWithPrinterCodes(job, codes, settings);
        if (settings.sendsStoredCodes() && atPrint == CodesAtPrint::Ask && (!m_answerer || !m_answerer->showsNotices())) {
            say(job, "left held: a default code is missing or is not one its printer takes; it is offered again when the queue's settings change");
            return JobFate::LeftHeld;
        }
    }
    task.codesForm = std::move(form);
    return withPerson(std::move(task), job);
}

JobFate HeldJobs::leftHeld(const ServerJob& job, const std::string& why, const std::string& error)
{
    // A step that failed because the agent is to stop is no news of the job.
    if (interruptionRequested())
        return JobFate::Stopped;
    tellError(error);
    say(job, "left held: " + why);
    return JobFate::LeftHeld;
}

JobFate HeldJobs::lostOrStopped() const
{
    return interruptionRequested() ? JobFate::Stopped : JobFate::ServerLost;
}

std::string HeldJobs::refusalNote(const ServerJob& job)
{
    std::string reason = refusalReason(m_book.refusal(job.id));
    say(job, "the printer refused the account: " + reason);
    return programText("Account Refused Note", { reason });
}

std::string HeldJobs::originNote(const ServerJob& job) const
{
    ConnectionsToServer::Seen seen = m_connections ? m_connections->programConnectedAt(job.createdAt) : ConnectionsToServer::Seen::NotWatched;
    char when[64] = "";
    time_t created = job.createdAt;
    tm local {};
    if (created > 0 && localtime_r(&created, &local))
        strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
    std::string sawHere = seen == ConnectionsToServer::Seen::Connected ? programText("Origin Program Connected")
        : seen == ConnectionsToServer::Seen::NoneSeen                  ? programText("Origin No Program Seen")
                                                                       : programText("Origin Not Watched");
    return programText("Origin Note",
        { printableText(job.queue), programText("Quoted Document", { printableText(job.name) }), *when ? when : programText("Unknown"),
            job.originHost.empty() ? programText("Unknown") : printableText(job.originHost), sawHere });
}

QueueSettingsStore::Warning HeldJobs::warner()
{
    return [this](const std::string& warning) { m_err << "accounting-agent: warning: " << printableText(warning) << "\n"; };
}

JobFate HeldJobs::releaseWithPrinterCodes(const ServerJob& job, const PrinterCodes& codes, const QueueSettings& settings)
{
    std::vector<CodeField> fields = codeFields(codes, &settings);
    std::vector<CodeSetting> carried;
    std::string problem;
    if (!codesJobSettings(fields, &carried, &problem)) {
        say(job, "left held: " + problem);
        return JobFate::LeftHeld;
    }
    JobFate fate;
    if (!carried.empty() && codesWouldBeShown(job, &fate))
        return fate;
    std::string error;
    Reply reply = m_server.releaseWithCodes(job.id, carried, &error);
    return settled(job, reply, settings.withoutCodes(error), JobFate::Released);
}

JobFate HeldJobs::withPerson(PromptTask task, const ServerJob& job)
{
    // The person is not asked for codes that would not be sent.
    JobFate fate;
    if (codesWouldBeShown(job, &fate))
        return fate;
    if (!m_answerer) {
        say(job, "left held: " + m_nobodyWhy);
        return JobFate::LeftHeld;
    }
    m_waiting.emplace_back(job, std::move(task));
    return JobFate::WithPerson;
}

void HeldJobs::startNextPrompt()
{
    while (!m_worker.busy() && !m_waiting.empty() && !interruptionRequested()) {
        auto [job, task] = std::move(m_waiting.front());
        m_waiting.pop_front();
        std::string error;
        if (m_worker.start(task, *m_answerer, m_out, &error)) {
            m_prompted = job;
            m_promptClosedForJob = false;
            return;
        }
        tellError(linePrefix(job) + error);
        say(job, "left held: its prompt cannot be started");
        m_book.record(job, JobFate::LeftHeld);
    }
}

HeldJobs::Going HeldJobs::promptReady()
{
    // The person chose Cancel: the job is cancelled now, while the prompt's process waits to tell
    // the person what the server did.
    if (m_worker.cancelAsked()) {
        std::string error;
        Reply reply = m_server.cancel(m_prompted->id, &error);
        m_cancelSent = CancelSent { m_prompted->id, reply, error };
        m_worker.answerCancel(reply == Reply::Done ? CancelAnswer::Done : reply == Reply::Refused ? CancelAnswer::Refused
                                                                                                  : CancelAnswer::Unanswered,
            error);
    }
    ClickOutcome outcome;
    std::string errors;
    if (!m_worker.collect(*m_answerer, &outcome, &errors))
        return Going::On;
    ServerJob job = *m_prompted;
    m_prompted.reset();
    // A job the server cancelled is cancelled, whatever became of the prompt's process after.
    if (m_cancelSent && m_cancelSent->reply == Reply::Done)
        outcome.kind = ClickOutcome::Kind::Cancelled;
    // What the worker's pane and window system wrote is for a developer.
    PaneDiagnostics::forward(errors, m_options.verbose, m_err);
    Going going = Going::On;
    if (interruptionRequested()) {
        m_book.record(job, JobFate::Stopped);
        return Going::Stopped;
    }
    if (m_promptClosedForJob) {
        say(job, "its prompt closed: the job was printed, cancelled or released elsewhere meanwhile");
        m_book.record(job, JobFate::LeftAlone);
    } else {
        JobFate fate = afterClick(job, outcome);
        m_book.record(job, fate);
        // What the person answered is not lost with the server: it is carried out once the
        // server is back, the same one, if the job is still held then.
        if (fate == JobFate::ServerLost && (outcome.kind == ClickOutcome::Kind::Printed || outcome.kind == ClickOutcome::Kind::Cancelled)) {
            say(job, "waits for the server: the answer given is carried out once it is back");
            m_answered.emplace_back(job.id, std::move(outcome));
        }
        going = fate == JobFate::ServerLost ? Going::ServerLost : fate == JobFate::Stopped ? Going::Stopped
                                                                                           : Going::On;
    }
    // An answer the server gave belongs to this prompt alone.
    m_cancelSent.reset();
    startNextPrompt();
    return going;
}

void HeldJobs::closePrompts(const std::string& why)
{
    m_waiting.clear();
    m_worker.close();
    if (m_prompted && !why.empty())
        say(*m_prompted, "left held: " + why);
}

JobFate HeldJobs::afterClick(const ServerJob& job, const ClickOutcome& outcome)
{
    if (!outcome.fault.empty())
        tellError(outcome.fault);
    switch (outcome.kind) {
    case ClickOutcome::Kind::Printed:
        return release(job, outcome.settings);
    case ClickOutcome::Kind::Cancelled:
        return cancel(job);
    case ClickOutcome::Kind::CodeMissing:
        say(job, "left held: a default code is missing; it is offered again when the queue's settings change");
        return JobFate::LeftHeld;
    case ClickOutcome::Kind::Unanswered:
        say(job, "left held: " + printableText(outcome.why));
        return JobFate::LeftHeld;
    case ClickOutcome::Kind::NotPrinted:
        say(job, "left held: the pane did not let it print");
        return JobFate::LeftHeld;
    case ClickOutcome::Kind::Failed:
        break;
    }
    say(job, "left held: its Print click failed" + (outcome.why.empty() ? "" : ": " + printableText(outcome.why)));
    return JobFate::LeftHeld;
}

JobFate HeldJobs::release(const ServerJob& job, const std::vector<StandIn::TicketItem>& settings)
{
    if (auto printers = m_printerCodes.find(job.queue); printers != m_printerCodes.end())
        return releaseWithPrinterCodes(job, printers->second, QueueSettings(settings));
    JobFate fate;
    if (QueueSettings(settings).accountingOn() && codesWouldBeShown(job, &fate))
        return fate;
    std::string error;
    Reply reply = m_server.release(job.id, settings, &error);
    return settled(job, reply, error, JobFate::Released);
}

JobFate HeldJobs::cancel(const ServerJob& job)
{
    std::string error;
    Reply reply;
    if (m_cancelSent && m_cancelSent->job == job.id) {
        reply = m_cancelSent->reply;
        error = m_cancelSent->error;
    } else {
        reply = m_server.cancel(job.id, &error);
    }
    m_cancelSent.reset();
    return settled(job, reply, error, JobFate::Cancelled);
}

JobFate HeldJobs::settled(const ServerJob& job, Reply reply, const std::string& error, JobFate done)
{
    const char* verb = done == JobFate::Released ? "release" : "cancel";
    if (reply == Reply::Done) {
        say(job, done == JobFate::Released ? "released" : "cancelled");
        return done;
    }
    if (interruptionRequested())
        return JobFate::Stopped;
    tellError(linePrefix(job) + "cannot " + verb + " it: " + error);
    if (reply == Reply::Lost)
        return JobFate::ServerLost;
    say(job, std::string("left held: the server refused to ") + verb + " it");
    return JobFate::LeftHeld;
}
