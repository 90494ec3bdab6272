#include "HeldJob.h"

#include "ClickWitness.h"
#include "CupsPrinter.h"
#include "PaneDiagnostics.h"
#include "PrintableText.h"
#include "ProgramTexts.h"
#include "ProcessGuards.h"
#include "QueueSettings.h"

#include <ctime>

namespace {

// The job's lines in the agent's output.
class JobLines {
public:
    JobLines(const ServerJob& job, std::ostream& out)
        : m_prefix("job " + std::to_string(job.id) + " " + printableText(job.queue) + ": ")
        , m_out(out)
    {
    }
    const std::string& prefix() const { return m_prefix; }
    void say(const std::string& event) { m_out << m_prefix << event << "\n"
                                               << std::flush; }

private:
    std::string m_prefix;
    std::ostream& m_out;
};

void tellError(JobHandling& handling, const std::string& error)
{
    handling.err << "accounting-agent: " << printableText(error) << "\n";
    handling.errorsTold = true;
}

// What the server's answer makes of the job.
JobFate afterReply(Reply reply, JobFate done, const char* doneLine, const char* what, const std::string& error, JobLines& lines,
    JobHandling& handling)
{
    if (reply == Reply::Done) {
        lines.say(doneLine);
        return done;
    }
    if (interruptionRequested())
        return JobFate::Stopped;
    tellError(handling, lines.prefix() + what + ": " + error);
    if (reply == Reply::Lost)
        return JobFate::ServerLost;
    lines.say(std::string("left held: the server refused to ") + (done == JobFate::Released ? "release" : "cancel") + " it");
    return JobFate::LeftHeld;
}

// Where the job came from, in the person's words for it: the document, the queue, when and from
// which computer, so that a print of one's own can be told from one made in one's name.
std::string originNote(const ServerJob& job)
{
    char when[64] = "";
    time_t created = job.createdAt;
    tm local {};
    if (created > 0 && localtime_r(&created, &local))
        strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
    return programText("Origin Note",
        { printableText(job.queue), programText("Quoted Document", { printableText(job.name) }), *when ? when : programText("Unknown"),
            job.originHost.empty() ? programText("Unknown") : printableText(job.originHost) });
}

}

JobFate handleHeldJob(const ServerJob& job, JobHandling& handling)
{
    JobLines lines(job, handling.out);
    if (job.carriesAccounting) {
        lines.say("left alone: it carries accounting codes already");
        return JobFate::LeftAlone;
    }
    // A step that failed because the agent is to stop is no news of the job.
    auto fail = [&](const std::string& why, const std::string& error) {
        if (interruptionRequested())
            return JobFate::Stopped;
        tellError(handling, error);
        lines.say("left held: " + why);
        return JobFate::LeftHeld;
    };
    std::string error;
    // A job that a person held on a queue that holds nothing for accounting waits for its person.
    bool holding = false;
    Reply reply = handling.server.queueHoldsNewJobs(job.queue, &holding, &error);
    if (reply == Reply::Lost) {
        if (interruptionRequested())
            return JobFate::Stopped;
        tellError(handling, error);
        return JobFate::ServerLost;
    }
    if (reply == Reply::Refused)
        return fail("the server does not say whether its queue holds jobs for accounting", lines.prefix() + error);
    if (!holding) {
        lines.say("left alone: it was held on purpose, on a queue that does not hold jobs for accounting");
        return JobFate::LeftAlone;
    }
    StandIn::FileDescriptor ppd;
    if (!fetchQueuePPD(handling.server.destination(job.queue), &ppd, &error))
        return fail("its printer's PPD cannot be had", error);
    std::string settingsPath = handling.store.pathOf(job.queue);
    bool stored = !settingsPath.empty() && handling.store.holds(job.queue);
    PrintDialogSetup setup {
        .ppdPath = queuePPDPath(ppd),
        .settingsPath = stored ? settingsPath : "",
        .plugInPath = handling.plugInPath,
        .primaryPlugInPath = handling.primaryPlugInPath,
        .ppdName = "the PPD of queue " + job.queue,
        .warn = [&](const std::string& warning) { handling.err << "accounting-agent: warning: " << printableText(warning) << "\n"; },
        .settingItems = stored ? std::vector<StandIn::TicketItem>() : QueueSettings::unstored().items(),
    };
    PrintDialog dialog;
    bool opened = false;
    {
        PaneDiagnostics diagnostics(handling.verbose, handling.err);
        opened = dialog.open(setup, &error);
    }
    if (!opened)
        return fail("the Print dialog cannot be opened for it", error);
    if (!dialog.printClickHooked()) {
        lines.say("left alone: the Accounting pane does not serve its printer");
        return JobFate::LeftAlone;
    }

    // Where anyone may print in the user's name, the job may not be the user's: the person sees
    // where it came from, and stored codes go with it only once the person confirms them.
    bool anyName = false;
    if (handling.server.queueTakesJobsInAnyName(job.queue, &anyName, &error) == Reply::Lost) {
        if (interruptionRequested())
            return JobFate::Stopped;
        tellError(handling, error);
        return JobFate::ServerLost;
    }
    PromptDressing dressing { job.name, job.queue };
    if (anyName) {
        if (!handling.anyNameTold) {
            handling.err << "accounting-agent: " << handling.server.serverName()
                         << " accepts jobs in another user's name: stored codes are confirmed on screen; see README\n";
            handling.anyNameTold = true;
        }
        dressing.note = originNote(job);
        QueueSettings settings(dialog.printSettings());
        if (settings.sendsStoredCodes()) {
            dressing.userID = settings.code(QueueSettings::Entry::UserID);
            dressing.accountID = settings.code(QueueSettings::Entry::AccountID);
            settings.set(QueueSettings::Entry::Prompt, 1);
            PaneDiagnostics diagnostics(handling.verbose, handling.err);
            dialog.preset(settings.items());
        }
    }

    Transcript transcript(handling.out, lines.prefix());
    PrintClick click;
    bool alertShown = false;
    bool noticeShown = false;
    handling.desk.begin(dialog, transcript);
    {
        ClickWitness witness(dressing);
        click = dialog.clickPrint(&error);
        alertShown = witness.alertShown();
        noticeShown = witness.noticeShown();
    }
    DeskAnswer answer = handling.desk.end();
    transcript.flush();
    // The prompt closed as the agent was asked to stop: the job waits for the next agent.
    if (interruptionRequested())
        return JobFate::Stopped;
    if (!answer.error.empty())
        tellError(handling, answer.error);
    if (!answer.unanswered.empty()) {
        lines.say("left held: " + answer.unanswered);
        return JobFate::LeftHeld;
    }
    if (click == PrintClick::Failed)
        return fail("its Print click failed", lines.prefix() + error);
    if (click == PrintClick::Printed) {
        reply = handling.server.release(job.id, dialog.printSettings(), &error);
        return afterReply(reply, JobFate::Released, "released", "cannot release it", error, lines, handling);
    }
    if (alertShown) {
        reply = handling.server.cancel(job.id, &error);
        return afterReply(reply, JobFate::Cancelled, "cancelled", "cannot cancel it", error, lines, handling);
    }
    lines.say(noticeShown ? "left held: a default code is missing; it is offered again when the queue's settings change"
                          : "left held: the pane did not let it print");
    return JobFate::LeftHeld;
}
