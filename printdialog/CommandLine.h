// printdialog's command line: what to print on, where the settings come from and go, the
// script or the screen.
#pragma once

#include "queues/CupsDestination.h"
#include "dialog/PrintDialog.h"
#include "queues/QueueSettingsStore.h"

#include <chrono>
#include <string>
#include <vector>

struct PrintDialogOptions {
    std::string ppdPath;
    std::string settingsPath;
    std::string savePath;
    std::string scriptPath; // "-" for standard input; empty for none
    std::string snapshotPath; // a picture of the front window when the script ends
    std::string printerQueue; // a CUPS queue to print to (or configure); its PPD stands for --ppd
    std::string server; // the CUPS server: HOST:PORT or a socket path
    std::string documentPath; // what is printed on the queue
    std::chrono::milliseconds serverTimeout { kDefaultCupsTimeout }; // the longest wait on the CUPS server
    std::string settingsFolder; // the queues' stored settings; empty: QueueSettingsStore::defaultFolder()
    // Configure: the dialog saves the queue's settings (the server's default queue without
    // --printer) instead of printing.
    DialogPurpose purpose { DialogPurpose::Print };
    // With --configure: where the settings window's Save keeps the default codes (AsBefore: as the
    // queue keeps them now); or, with forget, the queue's stored settings go and no window opens.
    QueueSettingsStore::CodesChoice keepCodes { QueueSettingsStore::CodesChoice::AsBefore };
    bool forget { false };
    // List the codes a job on the printer (--ppd or --printer) is asked for, instead of a dialog.
    bool listCodes { false };
    std::string plugInPath;
    std::string primaryPlugInPath;
};

// Reads the command line into options; false, with the reason in *error, for a bad one.
bool parsePrintDialogArguments(const std::vector<std::string>& arguments, PrintDialogOptions* options, std::string* error);

extern const char* const kPrintDialogUsage;
