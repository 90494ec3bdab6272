#include "PrintDialogCommand.h"

#include "CupsPrinter.h"
#include "PrintDialog.h"
#include "ScreenFrontEnd.h"
#include "ScriptRunner.h"
#include "Transcript.h"

#include <cstdlib>

namespace {

// What the dialog prints for: the PPD given, or a CUPS queue's PPD, held in memory, and the
// document to print on the queue, opened at once so that nothing can swap it later.
class PrintTarget {
public:
    bool obtain(const PrintDialogOptions& options, std::string* error)
    {
        if (options.printerQueue.empty()) {
            m_ppdPath = options.ppdPath;
            return true;
        }
        StandIn::FileFailure failure;
        m_document = StandIn::openRegularFile(options.documentPath.c_str(), &failure);
        if (!m_document) {
            *error = options.documentPath + ": cannot read the document to print: " + failure.describe();
            return false;
        }
        if (!fetchQueuePPD(destination(options), &m_ppd, error))
            return false;
        // The PPD reader opens a path: this one reaches the file in memory for as long as it is open.
        m_ppdPath = "/proc/self/fd/" + std::to_string(m_ppd.get());
        m_ppdName = "the PPD of queue " + options.printerQueue;
        return true;
    }

    // What the settings file got away with is printdialog's warning to its user.
    PrintDialogSetup setup(const PrintDialogOptions& options, std::ostream& err) const
    {
        auto warn = [&err](const std::string& warning) { err << "printdialog: warning: " << warning << "\n"; };
        return { m_ppdPath, options.settingsPath, options.plugInPath, options.primaryPlugInPath, m_ppdName, warn };
    }
    int document() const { return m_document.get(); }

    static CupsDestination destination(const PrintDialogOptions& options)
    {
        return { options.printerQueue, options.server, options.serverTimeout };
    }

private:
    StandIn::FileDescriptor m_ppd;
    StandIn::FileDescriptor m_document;
    std::string m_ppdPath;
    std::string m_ppdName;
};

// The job went on: its settings are saved (kept even when the queue then refuses the job),
// and on a CUPS queue the job is submitted.
int finishPrintedJob(const PrintDialogOptions& options, const PrintTarget& target, PrintDialog& dialog, Transcript& transcript, std::ostream& err)
{
    std::string error;
    if (!options.savePath.empty() && !dialog.saveSettings(options.savePath, &error)) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    if (options.printerQueue.empty())
        return kExitPrinted;
    std::string title = options.documentPath.substr(options.documentPath.rfind('/') + 1);
    int job = submitJob(PrintTarget::destination(options), target.document(), title, dialog.printSettings(), &error);
    if (!job) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    transcript.printedJob(job);
    return kExitPrinted;
}

bool displayAvailable()
{
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
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
    PrintTarget target;
    PrintDialog dialog;
    if (!frontEnd || !target.obtain(options, &error) || !dialog.open(target.setup(options, err), &error)) {
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
    return finishPrintedJob(options, target, dialog, transcript, err);
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
    PrintTarget target;
    PrintDialog dialog;
    if (!target.obtain(options, &error) || !dialog.open(target.setup(options, err), &error)) {
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
        // On a CUPS queue the line comes once the server has taken the job: "printed job N".
        ScriptRunner runner(dialog, script, transcript, options.printerQueue.empty() ? PrintedLine::Written : PrintedLine::LeftToSubmitter);
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
    return finishPrintedJob(options, target, dialog, transcript, err);
}
