#include "printdialog/CommandLine.h"

#include "program/ProgramFolder.h"
#include "queues/QueueName.h"

#include <cmath>
#include <cstdlib>

const char* const kPrintDialogUsage
    = "usage: printdialog (--ppd FILE | --printer QUEUE [--server HOST:PORT|SOCKET] [--timeout SECONDS] [--settings-dir DIR] --file DOCUMENT)\n"
      "                   [--settings FILE] [--save FILE] [--script FILE|-] [--snapshot FILE] [--plugin DIR]\n"
      "       printdialog --configure [--printer QUEUE] [--server HOST:PORT|SOCKET] [--timeout SECONDS] [--settings-dir DIR]\n"
      "                   [--keep-codes keyring|file] [--settings FILE] [--save FILE] [--script FILE|-] [--snapshot FILE] [--plugin DIR]\n"
      "       printdialog --configure --forget [--printer QUEUE] [--server HOST:PORT|SOCKET] [--timeout SECONDS] [--settings-dir DIR]\n"
      "       printdialog --list-codes (--ppd FILE | --printer QUEUE [--server HOST:PORT|SOCKET] [--timeout SECONDS])\n"
      "       printdialog --help | --version";

namespace {

bool parseTimeout(const std::string& text, std::chrono::milliseconds* timeout)
{
    char* end = nullptr;
    double seconds = strtod(text.c_str(), &end);
    if (*end || !std::isfinite(seconds) || seconds < 0.001 || seconds > 3600)
        return false;
    *timeout = std::chrono::milliseconds(std::lround(seconds * 1000));
    return true;
}

bool parseKeepCodes(const std::string& text, QueueSettingsStore::CodesChoice* choice)
{
    if (text != "keyring" && text != "file")
        return false;
    *choice = text == "file" ? QueueSettingsStore::CodesChoice::File : QueueSettingsStore::CodesChoice::KeyringOnly;
    return true;
}

// --list-codes opens no dialog: it reads a printer, the PPD given or a queue's.
bool listCodesArgumentsFit(const PrintDialogOptions& options, const std::string& keepCodes, std::string* error)
{
    if (options.purpose == DialogPurpose::Configure || options.forget || !keepCodes.empty() || !options.scriptPath.empty()
        || !options.snapshotPath.empty() || !options.settingsPath.empty() || !options.savePath.empty() || !options.documentPath.empty()
        || !options.settingsFolder.empty() || !options.plugInPath.empty()) {
        *error = "--list-codes opens no dialog: only --ppd, or --printer with --server and --timeout, go with it";
        return false;
    }
    return true;
}

}

bool parsePrintDialogArguments(const std::vector<std::string>& arguments, PrintDialogOptions* options, std::string* error)
{
    std::string timeout;
    std::string keepCodes;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--configure") {
            options->purpose = DialogPurpose::Configure;
            continue;
        }
        if (option == "--forget") {
            options->forget = true;
            continue;
        }
        if (option == "--list-codes") {
            options->listCodes = true;
            continue;
        }
        std::string* target = option == "--ppd" ? &options->ppdPath
            : option == "--settings"            ? &options->settingsPath
            : option == "--save"                ? &options->savePath
            : option == "--script"              ? &options->scriptPath
            : option == "--plugin"              ? &options->plugInPath
            : option == "--snapshot"            ? &options->snapshotPath
            : option == "--printer"             ? &options->printerQueue
            : option == "--server"              ? &options->server
            : option == "--file"                ? &options->documentPath
            : option == "--settings-dir"        ? &options->settingsFolder
            : option == "--timeout"             ? &timeout
            : option == "--keep-codes"          ? &keepCodes
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
    if (!timeout.empty() && !parseTimeout(timeout, &options->serverTimeout)) {
        *error = "--timeout needs a number of seconds, more than 0 and at most 3600";
        return false;
    }
    if (!keepCodes.empty() && !parseKeepCodes(keepCodes, &options->keepCodes)) {
        *error = "--keep-codes takes keyring or file";
        return false;
    }
    if (options->listCodes && !listCodesArgumentsFit(*options, keepCodes, error))
        return false;
    bool configuring = options->purpose == DialogPurpose::Configure;
    if (!configuring && (options->forget || !keepCodes.empty())) {
        *error = "--keep-codes and --forget go with --configure";
        return false;
    }
    if (options->forget
        && (!options->scriptPath.empty() || !options->snapshotPath.empty() || !options->settingsPath.empty() || !options->savePath.empty()
            || !keepCodes.empty())) {
        *error = "--forget opens no settings window: --script, --snapshot, --settings, --save and --keep-codes go with one";
        return false;
    }
    if (configuring && !options->ppdPath.empty()) {
        *error = "--configure stores the settings of a CUPS queue: --printer QUEUE, or none for the server's default queue, not --ppd";
        return false;
    }
    if (configuring && !options->documentPath.empty()) {
        *error = "--configure prints nothing: --file goes with printing";
        return false;
    }
    if (!configuring && options->ppdPath.empty() == options->printerQueue.empty()) {
        *error = options->ppdPath.empty() ? "--ppd or --printer is required" : "--ppd and --printer cannot go together";
        return false;
    }
    if (!configuring && !options->listCodes && !options->printerQueue.empty() && options->documentPath.empty()) {
        *error = "--printer needs --file, the document to print";
        return false;
    }
    if (!options->ppdPath.empty()
        && (!options->server.empty() || !options->documentPath.empty() || !timeout.empty() || !options->settingsFolder.empty())) {
        *error = "--server, --timeout, --file and --settings-dir go with --printer";
        return false;
    }
    if (std::string problem = options->printerQueue.empty() ? "" : cupsQueueNameProblem(options->printerQueue); !problem.empty()) {
        *error = "--printer: " + problem;
        return false;
    }
    std::string folder = productLibraryFolder();
    if (options->plugInPath.empty())
        options->plugInPath = folder + "/Accounting.plugin";
    if (options->primaryPlugInPath.empty())
        options->primaryPlugInPath = folder + "/PrimaryPDE.bundle";
    return true;
}
