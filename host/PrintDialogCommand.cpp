#include "PrintDialogCommand.h"

#include "CupsPrinter.h"
#include "PrintDialog.h"
#include "ProcessGuards.h"
#include "QueueSettings.h"
#include "QueueSettingsStore.h"
#include "ScreenFrontEnd.h"
#include "ScriptRunner.h"
#include "Transcript.h"

namespace {

QueueSettingsStore settingsStore(const PrintDialogOptions& options)
{
    return QueueSettingsStore(options.settingsFolder.empty() ? QueueSettingsStore::defaultFolder() : options.settingsFolder);
}

// What the dialog is for: the PPD given, or a CUPS queue's PPD, held in memory, and the document
// to print on the queue, opened at once so that nothing can swap it later. A queue's settings
// are configured without a document, on the server's default queue unless one is named.
class PrintTarget {
public:
    bool obtain(const PrintDialogOptions& options, std::string* error)
    {
        bool configuring = options.purpose == DialogPurpose::Configure;
        if (options.printerQueue.empty() && !configuring) {
            m_ppdPath = options.ppdPath;
            return true;
        }
        m_destination = { options.printerQueue, options.server, options.serverTimeout };
        if (!configuring) {
            StandIn::FileFailure failure;
            m_document = StandIn::openRegularFile(options.documentPath.c_str(), &failure);
            if (!m_document) {
                *error = options.documentPath + ": cannot read the document to print: " + failure.describe();
                return false;
            }
        } else if (m_destination.queue.empty() && !fetchDefaultQueue(m_destination, &m_destination.queue, error)) {
            *error += "; name the queue with --printer QUEUE";
            return false;
        }
        if (!fetchQueuePPD(m_destination, &m_ppd, error))
            return false;
        m_ppdPath = queuePPDPath(m_ppd);
        m_ppdName = "the PPD of queue " + m_destination.queue;
        return true;
    }

    // The settings to start from: the file given, or else the queue's stored ones, or, on a queue
    // with nothing stored, the settings it starts from in the agent too. What the file got away
    // with is printdialog's warning to its user.
    PrintDialogSetup setup(const PrintDialogOptions& options, const QueueSettingsStore& store, std::ostream& err) const
    {
        auto warn = [&err](const std::string& warning) { err << "printdialog: warning: " << warning << "\n"; };
        std::string settings = options.settingsPath;
        if (settings.empty() && onQueue() && store.holds(queue()))
            settings = store.pathOf(queue());
        std::vector<StandIn::TicketItem> unstored;
        if (settings.empty() && onQueue())
            unstored = QueueSettings::unstored().items();
        return { m_ppdPath, settings, options.plugInPath, options.primaryPlugInPath, m_ppdName, warn, options.purpose, unstored };
    }
    int document() const { return m_document.get(); }
    bool onQueue() const { return !m_destination.queue.empty(); }
    const std::string& queue() const { return m_destination.queue; }
    const CupsDestination& destination() const { return m_destination; }

private:
    CupsDestination m_destination;
    StandIn::FileDescriptor m_ppd;
    StandIn::FileDescriptor m_document;
    std::string m_ppdPath;
    std::string m_ppdName;
};

// The job went on, or the queue's settings were saved: the settings are written with --save and
// on a queue stored (both kept even when the queue then refuses the job), and a job is submitted.
int finishDialog(const PrintDialogOptions& options, const PrintTarget& target, const QueueSettingsStore& store, PrintDialog& dialog,
    Transcript& transcript, std::ostream& err)
{
    std::string error;
    if (!options.savePath.empty() && !dialog.saveSettings(options.savePath, &error)) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    if (!target.onQueue())
        return kExitPrinted;
    bool configuring = options.purpose == DialogPurpose::Configure;
    if (!store.store(target.queue(), dialog.printSettings(), &error)) {
        // Storing is all that Save does; a job is what Print was for, and goes on without it.
        err << "printdialog: " << (configuring ? "" : "warning: ") << "the settings of queue " << target.queue()
            << " were not stored: " << error << "\n";
        if (configuring)
            return kExitError;
    }
    if (configuring) {
        transcript.saved();
        return kExitPrinted;
    }
    std::string title = options.documentPath.substr(options.documentPath.rfind('/') + 1);
    // Until the job is whole, or taken back and said so, Ctrl-C only asks the send to stop.
    InterruptionGuard interruption;
    int job = submitJob(target.destination(), target.document(), title, dialog.printSettings(), &error);
    if (!job) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    transcript.printedJob(job);
    return kExitPrinted;
}

// Without a script the person acts on the dialog on screen.
int runOnScreen(const PrintDialogOptions& options, std::ostream& out, std::ostream& err)
{
    if (!displayAvailable()) {
        err << "printdialog: no display to show the dialog on: set DISPLAY, or run it with --script FILE (or - for standard "
               "input), or take a picture with --snapshot FILE\n";
        return kExitError;
    }
    std::string error;
    const ScreenFrontEnd* frontEnd = loadScreenFrontEnd(&error);
    QueueSettingsStore store = settingsStore(options);
    PrintTarget target;
    PrintDialog dialog;
    if (!frontEnd || !target.obtain(options, &error) || !dialog.open(target.setup(options, store, err), &error)) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    bool printed = frontEnd->runOnScreen(dialog, &error);
    if (!error.empty()) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    if (!printed)
        return kExitNotPrinted;
    Transcript transcript(out);
    return finishDialog(options, target, store, dialog, transcript, err);
}

}

int runPrintDialog(const PrintDialogOptions& options, std::ostream& out, std::ostream& err)
{
    if (options.scriptPath.empty() && options.snapshotPath.empty())
        return runOnScreen(options, out, err);
    ScriptSource script;
    std::string error;
    if (!options.scriptPath.empty() && !script.open(options.scriptPath, &error)) {
        err << "printdialog: " << options.scriptPath << ": " << error << "\n";
        return kExitError;
    }
    QueueSettingsStore store = settingsStore(options);
    PrintTarget target;
    PrintDialog dialog;
    if (!target.obtain(options, &error) || !dialog.open(target.setup(options, store, err), &error)) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    // A picture without a script shows the pane as a person opening it would see it.
    if (options.scriptPath.empty())
        dialog.showPane();
    Transcript transcript(out);
    DialogOutcome outcome;
    std::string scriptError;
    {
        // On a CUPS queue the line comes once the server has taken the job ("printed job N"), or
        // once the queue's settings are stored ("saved").
        ScriptRunner runner(dialog, script, transcript, target.onQueue() ? PrintedLine::LeftToSubmitter : PrintedLine::Written);
        outcome = runner.run();
        scriptError = runner.error();
        // The picture is of the dialog as the script leaves it, before it is torn down.
        if (outcome != DialogOutcome::Failed && !options.snapshotPath.empty()
            && !snapshotFrontWindow(dialog, nullptr, options.snapshotPath, &scriptError))
            outcome = DialogOutcome::Failed;
    }
    transcript.flush();
    if (outcome == DialogOutcome::Failed) {
        std::string where = options.scriptPath == "-" ? "standard input" : options.scriptPath;
        err << "printdialog: " << where << ": " << scriptError << "\n";
        return kExitError;
    }
    if (outcome != DialogOutcome::Printed)
        return kExitNotPrinted;
    return finishDialog(options, target, store, dialog, transcript, err);
}
