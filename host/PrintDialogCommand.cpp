#include "PrintDialogCommand.h"

#include "CupsPrinter.h"
#include "PrintDialog.h"
#include "ProgramFolder.h"
#include "ScreenFrontEnd.h"
#include "ScriptRunner.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

const char* const kPrintDialogUsage = "usage: printdialog (--ppd FILE | --printer QUEUE [--server HOST:PORT|SOCKET] --file DOCUMENT)\n"
                                      "                   [--settings FILE] [--save FILE] [--script FILE|-] [--snapshot FILE] [--plugin DIR]";


bool parsePrintDialogArguments(const std::vector<std::string>& arguments, PrintDialogOptions* options, std::string* error)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        std::string* target = option == "--ppd" ? &options->ppdPath
            : option == "--settings"             ? &options->settingsPath
            : option == "--save"                 ? &options->savePath
            : option == "--script"               ? &options->scriptPath
            : option == "--plugin"               ? &options->plugInPath
            : option == "--snapshot"             ? &options->snapshotPath
            : option == "--printer"              ? &options->printerQueue
            : option == "--server"               ? &options->server
            : option == "--file"                 ? &options->documentPath
                                                 : nullptr;
        if (!target) {
            *error = "unknown option \"" + option + "\"";
            return false;
        }
        if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
            *error = option + " needs a value";
            return false;
        }
        *target = arguments[++i];
    }
    if (options->ppdPath.empty() == options->printerQueue.empty()) {
        *error = options->ppdPath.empty() ? "--ppd or --printer is required" : "--ppd and --printer cannot go together";
        return false;
    }
    if (!options->printerQueue.empty() && options->documentPath.empty()) {
        *error = "--printer needs --file, the document to print";
        return false;
    }
    if (options->printerQueue.empty() && (!options->server.empty() || !options->documentPath.empty())) {
        *error = "--server and --file go with --printer";
        return false;
    }
    std::string folder = programFolder();
    if (options->plugInPath.empty())
        options->plugInPath = folder + "/../Accounting.plugin";
    if (options->primaryPlugInPath.empty())
        options->primaryPlugInPath = folder + "/PrimaryPDE.bundle";
    return true;
}

namespace {

// The printer's PPD: the file given, or the CUPS queue's, copied into a temporary file for the run.
class PrinterPPD {
public:
    ~PrinterPPD()
    {
        if (m_temporary)
            unlink(m_path.c_str());
    }

    bool obtain(const PrintDialogOptions& options, std::string* error)
    {
        if (options.printerQueue.empty()) {
            m_path = options.ppdPath;
            return true;
        }
        if (access(options.documentPath.c_str(), R_OK) != 0) {
            *error = options.documentPath + ": cannot read the document to print: " + strerror(errno);
            return false;
        }
        m_temporary = fetchQueuePPD({ options.printerQueue, options.server }, &m_path, error);
        return m_temporary;
    }

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    bool m_temporary { false };
};

// The job went on: its settings are saved (kept even when the queue then refuses the job),
// and on a CUPS queue the job is submitted.
int finishPrintedJob(const PrintDialogOptions& options, PrintDialog& dialog, std::ostream& out, std::ostream& err)
{
    std::string error;
    if (!options.savePath.empty() && !dialog.saveSettings(options.savePath, &error)) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    if (options.printerQueue.empty())
        return kExitPrinted;
    int job = submitJob({ options.printerQueue, options.server }, options.documentPath, dialog.printSettings(), &error);
    if (!job) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    out << "printed job " << job << "\n";
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
    PrinterPPD ppd;
    PrintDialog dialog;
    if (!frontEnd || !ppd.obtain(options, &error)
        || !dialog.open({ ppd.path(), options.settingsPath, options.plugInPath, options.primaryPlugInPath }, &error)) {
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
    return finishPrintedJob(options, dialog, out, err);
}

}

int runPrintDialog(const PrintDialogOptions& options, std::ostream& out, std::ostream& err)
{
    if (options.scriptPath.empty() && options.snapshotPath.empty())
        return runOnScreen(options, out, err);
    std::ifstream scriptFile;
    std::istringstream noScript;
    std::istream* script = &noScript;
    if (options.scriptPath == "-") {
        script = &std::cin;
    } else if (!options.scriptPath.empty()) {
        scriptFile.open(options.scriptPath);
        if (!scriptFile) {
            err << "printdialog: " << options.scriptPath << ": cannot read the script\n";
            return kExitError;
        }
        script = &scriptFile;
    }

    std::string error;
    PrinterPPD ppd;
    PrintDialog dialog;
    if (!ppd.obtain(options, &error)
        || !dialog.open({ ppd.path(), options.settingsPath, options.plugInPath, options.primaryPlugInPath }, &error)) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    // A picture without a script shows the pane as a person opening it would see it.
    if (options.scriptPath.empty())
        dialog.showPane();
    DialogOutcome outcome;
    std::string scriptError;
    {
        ScriptRunner runner(dialog, *script, out, options.printerQueue.empty());
        outcome = runner.run();
        scriptError = runner.error();
        // The picture is of the dialog as the script leaves it, before it is torn down.
        if (outcome != DialogOutcome::Failed && !options.snapshotPath.empty() && !runner.snapshot(options.snapshotPath, nullptr, &scriptError))
            outcome = DialogOutcome::Failed;
    }
    out.flush();
    if (outcome == DialogOutcome::Failed) {
        std::string where = options.scriptPath == "-" ? "standard input" : options.scriptPath;
        err << "printdialog: " << where << ": " << scriptError << "\n";
        return kExitError;
    }
    if (outcome != DialogOutcome::Printed)
        return kExitNotPrinted;
    return finishPrintedJob(options, dialog, out, err);
}
