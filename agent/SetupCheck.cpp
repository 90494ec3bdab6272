#include "agent/SetupCheck.h"

#include "agent/AgentLock.h"
#include "agent/ServerJobs.h"
#include "dialog/QueueDialog.h"
#include "program/PrintableText.h"
#include "program/ProgramTexts.h"
#include "queues/CupsPrinter.h"
#include "queues/QueueCodesKeyring.h"
#include "queues/QueueSettings.h"
#include "queues/QueueSettingsStore.h"
#include "queues/ServerPasswords.h"
#include "queues/cups/CupsConnection.h"
#include "queues/cups/KeptCertificates.h"
#include "queues/cups/KerberosTicket.h"

#include <pwd.h>
#include <unistd.h>

namespace {

class SetupReport {
public:
    explicit SetupReport(std::ostream& out)
        : m_out(out)
    {
    }

    void heading(const std::string& line) { m_out << line << "\n"; }
    void fact(const std::string& line) { m_out << "  " << line << "\n"; }
    void problem(const std::string& line)
    {
        m_out << "  " << programText("Check Problem", { line }) << "\n";
        ++m_problems;
    }
    int end()
    {
        m_out << (m_problems ? programText("Check Problems Found", { std::to_string(m_problems) }) : programText("Check Nothing Wrong")) << "\n";
        return m_problems ? kSetupHasProblems : kSetupFine;
    }

private:
    std::ostream& m_out;
    int m_problems { 0 };
};

std::string userName()
{
    const passwd* entry = getpwuid(getuid());
    return entry ? entry->pw_name : std::to_string(getuid());
}

// How the server is reached, and how the person proves who they are to it.
void checkReach(SetupReport& report, const std::string& server, const ServerJobs& jobs)
{
    std::string address = CupsConnection::address(server);
    if (address[0] == '/') {
        report.fact(programText("Check Socket", { printableText(address) }));
        return;
    }
    if (jobs.isLocal()) {
        report.fact(programText("Check Local TCP", { printableText(address) }));
        return;
    }
    std::string key = CupsConnection::key(server);
    std::string fingerprint = keptCertificateFingerprint(key);
    report.fact(fingerprint.empty() ? programText("Check TLS Not Pinned", { printableText(address) })
                                    : programText("Check TLS", { printableText(address), fingerprint }));
    KerberosTicket ticket = kerberosTicket();
    report.fact(ticket.valid ? programText("Check Kerberos Ticket", { printableText(ticket.principal) })
                             : programText("Check No Kerberos Ticket", { programText(ticket.problem) }));
    std::string error;
    QueueCodesKeyring::Lookup password = passwordRemembered(key, userName(), &error);
    if (password != QueueCodesKeyring::Lookup::Failed)
        report.fact(programText(password == QueueCodesKeyring::Lookup::Found ? "Check Password Remembered" : "Check No Password Remembered"));
}

// What the person stored for the queue: where, and whether the codes are asked for or sent; never
// a code.
void checkStoredSettings(SetupReport& report, const QueueSettingsStore& store, const CupsDestination& destination, const PrinterCodes& codes)
{
    const std::string queue = printableText(destination.queue);
    if (!store.holds(destination)) {
        report.fact(programText("Check Nothing Stored"));
        return;
    }
    QueueSettings settings;
    std::string error;
    if (!store.load(
            destination, QueueSettingsStore::CodesRead::WhenSent, [](const std::string&) {}, &settings, &error)) {
        report.problem(programText("Check Settings Unreadable", { queue, printableText(error) }));
        return;
    }
    const std::string file = printableText(store.pathOf(destination));
    if (!settings.accountingOn()) {
        report.fact(programText("Check Accounting Off", { file }));
        return;
    }
    if (!settings.sendsStoredCodes()) {
        report.fact(programText("Check Prompt", { file }));
        return;
    }
    bool inKeyring = settings.codesPlace() == QueueSettings::CodesPlace::Keyring;
    report.fact(programText("Check Default Codes", { file, programText(inKeyring ? "Check In Keyring" : "Check In File") }));
    bool missing = false;
    if (codes.paneOwn) {
        missing = settings.code(QueueSettings::Entry::UserID).empty() || settings.code(QueueSettings::Entry::AccountID).empty();
    } else {
        for (const PrinterCode& code : codes.codes)
            missing = missing || settings.printerCode(code.name).empty();
    }
    if (missing)
        report.problem(programText("Check Code Missing", { queue }));
}

// Each queue of the server: what its printer asks for, whether it holds new jobs for the agent,
// whether the server keeps the codes private there, and what the person stored for it.
void checkQueue(SetupReport& report, ServerJobs& jobs, const QueueSettingsStore& store, const std::string& queue)
{
    const std::string name = printableText(queue);
    report.heading(programText("Check Queue", { name }));
    CupsDestination destination = jobs.destination(queue);
    QueueDialog dialog;
    PrinterCodes codes;
    std::string error;
    if (!dialog.fetch(destination, &error) || !dialog.printerCodes(&codes, &error)) {
        report.problem(programText("Check Printer Unknown", { name, printableText(error) }));
        return;
    }
    if (codes.codes.empty()) {
        report.fact(programText("Check No Codes"));
        return;
    }
    if (codes.paneOwn) {
        report.fact(programText("Check Pane Queue"));
    } else {
        std::string labels;
        for (const PrinterCode& code : codes.codes)
            labels += (labels.empty() ? "" : ", ") + printableText(code.label.empty() ? code.name : code.label);
        report.fact(programText("Check Codes Queue", { labels }));
    }
    bool holds = false;
    if (jobs.queueHoldsNewJobs(queue, &holds, &error) != Reply::Done)
        report.problem(programText("Check Not Asked", { printableText(error) }));
    else if (holds)
        report.fact(programText("Check Holds"));
    else
        report.problem(programText("Check Does Not Hold", { name }));
    bool anyName = false;
    bool onlyProven = false;
    if (jobs.queueTakesJobsInAnyName(queue, &anyName, &error) != Reply::Done
        || jobs.queueShowsJobsOnlyToProvenUsers(queue, 0, &onlyProven, &error) != Reply::Done) {
        report.problem(programText("Check Not Asked", { printableText(error) }));
    } else {
        if (anyName)
            report.problem(programText("Check Any Name", { name }));
        if (!onlyProven)
            report.problem(programText("Check Codes Shown", { name }));
        if (!anyName && onlyProven)
            report.fact(programText("Check Owners Proven"));
    }
    checkStoredSettings(report, store, destination, codes);
}

// Why the job waits: what the agent last said of it, or what can be seen of it from here.
std::string whyItWaits(const ServerJob& job, const AgentLock::Holder* agent)
{
    if (agent) {
        if (auto said = agent->jobLines.find(job.id); said != agent->jobLines.end())
            return programText("Check Agent Said", { printableText(said->second) });
    }
    if (!job.documentArrived)
        return programText("Check No Document");
    return programText(agent ? "Check Not Taken Up" : "Check Waits For Agent");
}

}

int checkSetup(const AgentOptions& options, std::ostream& out)
{
    SetupReport report(out);
    QueueSettingsStore store(options.settingsFolder.empty() ? QueueSettingsStore::defaultFolder() : options.settingsFolder);
    const std::string server = CupsConnection::address(options.server);

    AgentLock::Holder holder;
    bool agentRuns = AgentLock::findHolder(store.folder(), server, &holder);
    report.heading(programText("Check Agent Heading"));
    if (agentRuns)
        report.fact(programText("Check Agent Runs", { std::to_string(holder.process) }));
    else
        report.problem(programText("Check No Agent"));

    report.heading(programText("Check Keyring Heading"));
    std::string reason;
    if (QueueCodesKeyring().available(&reason))
        report.fact(programText("Check Keyring"));
    else
        report.fact(programText("Check No Keyring", { printableText(reason) }));

    ServerJobs jobs(options.server);
    report.heading(programText("Check Server", { printableText(cupsServerName(options.server)) }));
    std::string error;
    if (jobs.connect(&error) != Reply::Done) {
        report.problem(programText("Check Unreachable", { printableText(error) }));
        return report.end();
    }
    checkReach(report, options.server, jobs);
    std::vector<ServerJob> listed;
    Reply listing = jobs.listJobs(&listed, &error);
    if (listing != Reply::Done)
        report.problem(programText("Check Jobs Not Listed", { printableText(error) }));

    std::vector<std::string> queues;
    if (!fetchQueueNames(jobs.destination(""), &queues, &error))
        report.problem(programText("Check Queues Not Listed", { printableText(error) }));
    for (const std::string& queue : queues)
        checkQueue(report, jobs, store, queue);

    if (listing == Reply::Done) {
        report.heading(programText("Check Held Jobs Heading"));
        bool anyHeld = false;
        for (const ServerJob& job : listed) {
            if (!job.heldIndefinitely && !job.refusedByPrinter)
                continue;
            anyHeld = true;
            std::string document = job.name.empty() ? programText("Your Print") : programText("Quoted Document", { printableText(job.name) });
            report.fact(programText("Check Held Job", { std::to_string(job.id), printableText(job.queue), document, whyItWaits(job, agentRuns ? &holder : nullptr) }));
        }
        if (!anyHeld)
            report.fact(programText("Check No Held Jobs"));
    }
    return report.end();
}
