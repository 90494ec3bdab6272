#include "HeldJob.h"

#include "ClickWitness.h"
#include "CupsPrinter.h"

namespace {

constexpr const char* kClient = "com.pmvendor.printingmanager";

// The job's lines in the agent's output.
class JobLines {
public:
    JobLines(const ServerJob& job, std::ostream& out)
        : m_prefix("job " + std::to_string(job.id) + " " + job.queue + ": ")
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

// What the server's answer makes of the job.
JobFate afterReply(Reply reply, JobFate done, const char* doneLine, const char* what, const std::string& error, JobLines& lines,
    JobHandling& handling)
{
    if (reply == Reply::Done) {
        lines.say(doneLine);
        return done;
    }
    handling.err << "accounting-agent: " << lines.prefix() << what << ": " << error << "\n";
    handling.errorsTold = true;
    if (reply == Reply::Lost)
        return JobFate::ServerLost;
    lines.say(std::string("left held: the server refused to ") + (done == JobFate::Released ? "release" : "cancel") + " it");
    return JobFate::LeftHeld;
}

}

std::vector<StandIn::TicketItem> settingsWithoutStore()
{
    auto setting = [](const char* key, SInt32 value) { return StandIn::TicketItem { key, kClient, false, value, "", false }; };
    return { setting("com.movra.Act.trel.On", 3), setting("com.movra.Act.trel.Prm", 1), setting("com.movra.Act.trel.CU", 1),
        setting("com.movra.Act.trel.CA", 1) };
}

JobFate handleHeldJob(const ServerJob& job, JobHandling& handling)
{
    JobLines lines(job, handling.out);
    if (job.carriesAccounting) {
        lines.say("left alone: it carries accounting codes already");
        return JobFate::LeftAlone;
    }
    auto fail = [&](const std::string& why, const std::string& error) {
        handling.err << "accounting-agent: " << error << "\n";
        handling.errorsTold = true;
        lines.say("left held: " + why);
        return JobFate::LeftHeld;
    };
    std::string error;
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
        .warn = [&](const std::string& warning) { handling.err << "accounting-agent: warning: " << warning << "\n"; },
        .settingItems = stored ? std::vector<StandIn::TicketItem>() : settingsWithoutStore(),
    };
    PrintDialog dialog;
    if (!dialog.open(setup, &error))
        return fail("the Print dialog cannot be opened for it", error);
    if (!dialog.printClickHooked()) {
        lines.say("left alone: the Accounting pane does not serve its printer");
        return JobFate::LeftAlone;
    }

    Transcript transcript(handling.out, lines.prefix());
    PrintClick click;
    bool alertShown = false;
    bool noticeShown = false;
    handling.desk.begin(dialog, transcript);
    {
        ClickWitness witness(job.name, job.queue);
        click = dialog.clickPrint(&error);
        alertShown = witness.alertShown();
        noticeShown = witness.noticeShown();
    }
    DeskAnswer answer = handling.desk.end();
    transcript.flush();
    if (!answer.error.empty()) {
        handling.err << "accounting-agent: " << answer.error << "\n";
        handling.errorsTold = true;
    }
    if (!answer.unanswered.empty()) {
        lines.say("left held: " + answer.unanswered);
        return JobFate::LeftHeld;
    }
    if (click == PrintClick::Failed)
        return fail("its Print click failed", lines.prefix() + error);
    if (click == PrintClick::Printed) {
        Reply reply = handling.server.release(job.id, dialog.printSettings(), &error);
        return afterReply(reply, JobFate::Released, "released", "cannot release it", error, lines, handling);
    }
    if (alertShown) {
        Reply reply = handling.server.cancel(job.id, &error);
        return afterReply(reply, JobFate::Cancelled, "cancelled", "cannot cancel it", error, lines, handling);
    }
    lines.say(noticeShown ? "left held: a default code is missing; it is offered again when the queue's settings change"
                          : "left held: the pane did not let it print");
    return JobFate::LeftHeld;
}
