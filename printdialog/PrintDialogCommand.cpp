#include "printdialog/PrintDialogCommand.h"

#include "printdialog/CodesSettings.h"
#include "printdialog/Conversation.h"
#include "printdialog/DialogAnswerer.h"
#include "queues/CupsPrinter.h"
#include "printdialog/ListCodes.h"
#include "dialog/PrintDialog.h"
#include "program/ProcessGuards.h"
#include "dialog/QueueDialog.h"
#include "queues/QueueSettings.h"
#include "queues/QueueSettingsStore.h"
#include "dialog/Transcript.h"

#include <memory>

namespace {

QueueSettingsStore settingsStore(const PrintDialogOptions& options)
{
    return QueueSettingsStore(options.settingsFolder.empty() ? QueueSettingsStore::defaultFolder() : options.settingsFolder);
}

// Whether the pane serves the queue's printer: it hooks the Print button only for a Movra one.
bool servesQueue(const PrintDialogOptions& options, const CupsDestination& destination)
{
    StandIn::FileDescriptor ppd;
    std::string ignored;
    PrintDialog dialog;
    return fetchQueuePPD(destination, &ppd, &ignored)
        && dialog.open({ queuePPDPath(ppd), "", options.plugInPath, options.primaryPlugInPath }, &ignored) && dialog.printClickHooked();
}

// What the dialog is for: the PPD given, or a CUPS queue's (QueueDialog), and the document
// to print on the queue, opened at once so that nothing can swap it later. A queue's settings
// are set without a document, on the server's one Movra queue unless one is named, or on the one
// the person chooses among several.
class PrintTarget {
public:
    Going obtain(const PrintDialogOptions& options, Conversation& conversation)
    {
        bool configuring = options.purpose == DialogPurpose::Configure;
        if (options.printerQueue.empty() && !configuring) {
            m_ppdPath = options.ppdPath;
            return Going::On;
        }
        m_destination = { options.printerQueue, options.server, options.serverTimeout };
        std::string error;
        if (!configuring) {
            StandIn::FileFailure failure;
            m_document = StandIn::openRegularFile(options.documentPath.c_str(), &failure);
            if (!m_document) {
                conversation.tell(options.documentPath + ": cannot read the document to print: " + failure.describe());
                return Going::Failed;
            }
        } else if (m_destination.queue.empty()) {
            if (Going going = chooseQueue(options, conversation); going != Going::On)
                return going;
        }
        // Forgetting needs no printer: a queue gone from the server can still be forgotten.
        if (options.forget)
            return Going::On;
        if (!m_queueDialog.fetch(m_destination, &error) || (!configuring && !proveTheUserTo(m_destination, &error))) {
            conversation.tell(error);
            return Going::Failed;
        }
        return Going::On;
    }

    // The settings to start from: the file given, or else the queue's stored ones (with the codes
    // the keyring keeps for it where the dialog needs them), or, on a queue with nothing stored,
    // the settings it starts from in the agent too. What the file got away with is printdialog's
    // warning to its user. The stored ones that cannot be read are set aside, when the person
    // starts afresh. A settings window's check box starts as --keep-codes says, if it is given.
    Going setup(const PrintDialogOptions& options, const QueueSettingsStore& store, Conversation& conversation, std::ostream& err,
        PrintDialogSetup* setup) const
    {
        auto warn = [&err](const std::string& warning) { err << "printdialog: warning: " << warning << "\n"; };
        if (!onQueue()) {
            *setup = { m_ppdPath, options.settingsPath, options.plugInPath, options.primaryPlugInPath, "", warn, options.purpose };
            return Going::On;
        }
        std::string problem;
        std::string keptAs;
        if (options.settingsPath.empty() && !store.readable(m_destination, &problem)) {
            if (Going going = conversation.startAfresh(queue(), problem); going != Going::On)
                return going;
            if (!store.setAside(m_destination, &keptAs, &problem)) {
                conversation.tell(problem);
                return Going::Failed;
            }
            warn(problem + "; it is kept as " + keptAs);
        }
        // A pane the person sees shows the stored codes; a scripted print reads them only to send them.
        bool seen = options.purpose == DialogPurpose::Configure || (options.scriptPath.empty() && options.snapshotPath.empty());
        auto codesRead = seen ? QueueSettingsStore::CodesRead::Always : QueueSettingsStore::CodesRead::WhenSent;
        if (!m_queueDialog.setup(options.settingsPath, store, options.plugInPath, options.primaryPlugInPath, options.purpose, codesRead, warn, setup,
                &problem)) {
            conversation.tell(problem);
            return Going::Failed;
        }
        if (options.keepCodes != QueueSettingsStore::CodesChoice::AsBefore)
            setup->codesKeeping.inFile = options.keepCodes == QueueSettingsStore::CodesChoice::File;
        return Going::On;
    }
    bool printerCodes(PrinterCodes* codes, std::string* error) const { return m_queueDialog.printerCodes(codes, error); }
    int document() const { return m_document.get(); }
    bool onQueue() const { return !m_destination.queue.empty(); }
    const std::string& queue() const { return m_destination.queue; }
    const CupsDestination& destination() const { return m_destination; }

private:
    // The settings window, opened without a queue, is for the server's Movra queue: the only one,
    // or the one the person chooses.
    Going chooseQueue(const PrintDialogOptions& options, Conversation& conversation)
    {
        std::string error;
        std::vector<std::string> names;
        if (!fetchQueueNames(m_destination, &names, &error)) {
            conversation.tell(error);
            return Going::Failed;
        }
        std::vector<std::string> movra;
        for (const std::string& name : names) {
            if (servesQueue(options, { name, m_destination.server, m_destination.timeout }))
                movra.push_back(name);
        }
        std::string server = cupsServerName(m_destination.server);
        if (movra.empty()) {
            conversation.tell(server + " has no Movra printer, and only a Movra printer has accounting settings");
            return Going::Failed;
        }
        if (movra.size() == 1) {
            m_destination.queue = movra.front();
            return Going::On;
        }
        std::string defaultQueue;
        fetchDefaultQueue(m_destination, &defaultQueue, &error);
        return conversation.chooseQueue(server, movra, defaultQueue, &m_destination.queue);
    }

    CupsDestination m_destination;
    QueueDialog m_queueDialog;
    StandIn::FileDescriptor m_document;
    std::string m_ppdPath;
};

// Opens the dialog for the target. A queue's settings window for a printer the pane does not
// serve is the window built from the codes the printer asks for, which go into *printersCodes;
// a printer that asks for none has nothing to set, and says so.
Going openDialog(const PrintDialogOptions& options, PrintTarget& target, const QueueSettingsStore& store, Conversation& conversation,
    std::ostream& err, PrintDialog& dialog, PrinterCodes* printersCodes)
{
    Going going = target.obtain(options, conversation);
    PrintDialogSetup setup;
    if (going == Going::On)
        going = target.setup(options, store, conversation, err, &setup);
    if (going != Going::On)
        return going;
    std::string error;
    if (!dialog.open(setup, &error)) {
        conversation.tell(error);
        return Going::Failed;
    }
    if (options.purpose == DialogPurpose::Configure && !dialog.printClickHooked()) {
        if (!target.printerCodes(printersCodes, &error)) {
            conversation.tell(error);
            return Going::Failed;
        }
        if (printersCodes->paneOwn || printersCodes->codes.empty()) {
            conversation.tell(target.queue() + " has no accounting settings: its printer is not a Movra printer, and asks for no codes");
            return Going::Failed;
        }
    }
    return Going::On;
}

// The queue's stored settings go, and the codes the keyring keeps for it.
int forgetSettings(const PrintTarget& target, const QueueSettingsStore& store, Transcript& transcript, Conversation& conversation)
{
    std::string error;
    if (!store.forget(target.destination(), &error)) {
        conversation.tell("the settings of queue " + target.queue() + " were not forgotten: " + error);
        return kExitError;
    }
    transcript.forgotten();
    return kExitPrinted;
}

int exitFor(Going going)
{
    return going == Going::Declined ? kExitNotPrinted : kExitError;
}

// The job went on, or the queue's settings were saved: the settings are written with --save and
// on a queue stored (both kept even when the queue then refuses the job), and a job is submitted.
int finishDialog(const PrintDialogOptions& options, const PrintTarget& target, const QueueSettingsStore& store, PrintDialog& dialog,
    const CodesFormAsker& askCodes, Transcript& transcript, Conversation& conversation, std::ostream& err)
{
    std::string error;
    if (!options.savePath.empty() && !dialog.saveSettings(options.savePath, &error)) {
        conversation.tell(error);
        return kExitError;
    }
    if (!target.onQueue())
        return kExitPrinted;
    bool configuring = options.purpose == DialogPurpose::Configure;
    std::string title = options.documentPath.substr(options.documentPath.rfind('/') + 1);
    // A printer the pane does not serve that asks for codes of its own gets them as the agent
    // would give them, from the queue's stored settings, before anything is sent. The pane's
    // entries of such a job say nothing of the queue, so they are not stored for it either.
    std::vector<StandIn::TicketItem> jobItems = dialog.printSettings();
    bool paneServes = configuring || dialog.printClickHooked();
    bool carriesCodes = paneServes && QueueSettings(jobItems).accountingOn();
    if (!paneServes) {
        PrinterCodes codes;
        QueueSettings stored = QueueSettings::unstored();
        auto warn = [&err](const std::string& warning) { err << "printdialog: warning: " << warning << "\n"; };
        if (!target.printerCodes(&codes, &error)
            || (store.holds(target.destination()) && !store.load(target.destination(), QueueSettingsStore::CodesRead::WhenSent, warn, &stored, &error))) {
            conversation.tell(error);
            return kExitError;
        }
        if (!codes.paneOwn && !codes.codes.empty()) {
            size_t withoutCodes = jobItems.size();
            if (Going going = addPrinterCodes(codes, stored, title, target.queue(), askCodes, &jobItems, conversation); going != Going::On)
                return exitFor(going);
            carriesCodes = jobItems.size() > withoutCodes;
        }
    }
    // A job's settings leave the codes where the queue keeps them; a Save puts them where the
    // settings window's check box says.
    using Choice = QueueSettingsStore::CodesChoice;
    Choice choice = !configuring                   ? Choice::AsBefore
        : dialog.codesInFileChosen()               ? Choice::File
        : options.keepCodes == Choice::KeyringOnly ? Choice::KeyringOnly
                                                   : Choice::Keyring;
    std::string note;
    if (paneServes && !store.store(target.destination(), dialog.printSettings(), choice, &error, &note)) {
        // Storing is all that Save does; a job is what Print was for, and goes on without it.
        std::string line = "the settings of queue " + target.queue() + " were not stored: " + error;
        if (configuring) {
            conversation.tell(line);
            return kExitError;
        }
        err << "printdialog: warning: " << line << "\n";
    }
    // A person setting the codes hears where they went; a job's settings are stored in passing.
    if (configuring && !note.empty())
        err << "printdialog: warning: " << note << "\n";
    if (configuring) {
        transcript.saved();
        return kExitPrinted;
    }
    // Until the job is whole, or taken back and said so, Ctrl-C only asks the send to stop.
    InterruptionGuard interruption;
    int job = submitJob(target.destination(), target.document(), title, jobItems, carriesCodes, &error);
    if (!job) {
        conversation.tell(error);
        return kExitError;
    }
    transcript.printedJob(job);
    return kExitPrinted;
}

// The dialog, played by the answerer: the script's lines, or the person on screen.
int runDialog(const PrintDialogOptions& options, DialogAnswerer& answerer, std::ostream& out, std::ostream& err)
{
    std::string error;
    if (!answerer.ready(&error)) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    Conversation& conversation = answerer.conversation();
    // A server that asks for the person's password asks the answerer; a fault of the answerer's
    // own is told once the dialog is open.
    std::string passwordFault;
    PasswordAskerScope asker([&answerer, &out, &passwordFault](const PasswordQuestion& question, PasswordAnswer* answer, std::string* why) {
        std::string fault;
        bool given = answerer.askPassword(question, out, answer, why, &fault);
        if (!fault.empty())
            passwordFault = fault;
        return given;
    });
    QueueSettingsStore store = settingsStore(options);
    PrintTarget target;
    PrintDialog dialog;
    PrinterCodes printersCodes;
    Going going = openDialog(options, target, store, conversation, err, dialog, &printersCodes);
    if (!passwordFault.empty())
        conversation.tell(passwordFault);
    if (going != Going::On)
        return exitFor(going);
    auto ask = [&answerer, &out](CodesForm* form, std::string* why) {
        std::string fault;
        CodesFormAnswer answer = answerer.askCodes(form, out, why, &fault);
        if (!fault.empty())
            *why = fault;
        return answer;
    };
    Transcript transcript(out);
    if (!printersCodes.codes.empty())
        return configurePrinterCodes(target.destination(), printersCodes, store, options.keepCodes, ask, transcript, conversation, err);
    DialogOutcome outcome = answerer.play(dialog, transcript, target.onQueue(), &error);
    if (outcome == DialogOutcome::Failed) {
        conversation.tell(error);
        return kExitError;
    }
    if (outcome == DialogOutcome::Forgotten)
        return forgetSettings(target, store, transcript, conversation);
    if (outcome != DialogOutcome::Printed)
        return kExitNotPrinted;
    return finishDialog(options, target, store, dialog, ask, transcript, conversation, err);
}

// --forget: the queue's stored settings go without a window.
int runForget(const PrintDialogOptions& options, std::ostream& out, std::ostream& err)
{
    ScriptedConversation conversation(err);
    QueueSettingsStore store = settingsStore(options);
    PrintTarget target;
    if (Going going = target.obtain(options, conversation); going != Going::On)
        return exitFor(going);
    Transcript transcript(out);
    return forgetSettings(target, store, transcript, conversation);
}

}

int runPrintDialog(const PrintDialogOptions& options, std::ostream& out, std::ostream& err)
{
    if (options.listCodes)
        return listPrinterCodes(options, out, err);
    if (options.forget)
        return runForget(options, out, err);
    // Without a script or a picture to take, the person acts on the dialog on screen.
    std::unique_ptr<DialogAnswerer> answerer = options.scriptPath.empty() && options.snapshotPath.empty() ? makeScreenDialogAnswerer(err)
                                                                                                          : makeScriptDialogAnswerer(options, err);
    return runDialog(options, *answerer, out, err);
}
