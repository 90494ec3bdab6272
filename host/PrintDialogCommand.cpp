#include "PrintDialogCommand.h"

#include "PrintDialog.h"
#include "ScreenFrontEnd.h"
#include "ScriptRunner.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

const char* const kPrintDialogUsage
    = "usage: printdialog --ppd FILE [--settings FILE] [--save FILE] [--script FILE|-] [--snapshot FILE] [--plugin DIR]";

namespace {

// The folder printdialog runs from: the built bundles lie beside it.
std::string executableFolder()
{
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    std::string folder(path, length);
    return folder.substr(0, folder.rfind('/'));
}

}

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
    if (options->ppdPath.empty()) {
        *error = "--ppd is required";
        return false;
    }
    std::string folder = executableFolder();
    if (options->plugInPath.empty())
        options->plugInPath = folder + "/../Accounting.plugin";
    if (options->primaryPlugInPath.empty())
        options->primaryPlugInPath = folder + "/PrimaryPDE.bundle";
    return true;
}

namespace {

bool displayAvailable()
{
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// Without a script the person acts on the dialog on screen.
int runOnScreen(const PrintDialogOptions& options, std::ostream& err)
{
    if (!displayAvailable()) {
        err << "printdialog: no display to show the dialog on: set DISPLAY, or run it with --script FILE (or - for standard "
               "input), or take a picture with --snapshot FILE\n";
        return kExitError;
    }
    std::string error;
    const ScreenFrontEnd* frontEnd = loadScreenFrontEnd(&error);
    PrintDialog dialog;
    if (!frontEnd || !dialog.open({ options.ppdPath, options.settingsPath, options.plugInPath, options.primaryPlugInPath }, &error)) {
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
    if (!options.savePath.empty() && !dialog.saveSettings(options.savePath, &error)) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    return kExitPrinted;
}

}

int runPrintDialog(const PrintDialogOptions& options, std::ostream& out, std::ostream& err)
{
    if (options.scriptPath.empty() && options.snapshotPath.empty())
        return runOnScreen(options, err);
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

    PrintDialog dialog;
    std::string error;
    if (!dialog.open({ options.ppdPath, options.settingsPath, options.plugInPath, options.primaryPlugInPath }, &error)) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    // A picture without a script shows the pane as a person opening it would see it.
    if (options.scriptPath.empty())
        dialog.showPane();
    DialogOutcome outcome;
    std::string scriptError;
    {
        ScriptRunner runner(dialog, *script, out);
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
    if (!options.savePath.empty() && !dialog.saveSettings(options.savePath, &error)) {
        err << "printdialog: " << error << "\n";
        return kExitError;
    }
    return kExitPrinted;
}
