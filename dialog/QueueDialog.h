// A Print dialog for a CUPS queue, as every program that plays the printing system opens one: the
// queue's PPD fetched into memory (CupsPrinter.h), kept for as long as the dialog may read it,
// and the settings the dialog starts from: a file given, else the queue's stored settings, else
// the settings of a queue with nothing stored (QueueSettings::unstored).
#pragma once

#include "CupsDestination.h"
#include "DialogExport.h"
#include "PrintDialog.h"
#include "QueueSettingsStore.h"

#include <Base/RegularFile.h>

#include <string>

class DIALOG_EXPORT QueueDialog {
public:
    // Fetches the queue's PPD. False, with the reason in *error.
    bool fetch(const CupsDestination& destination, std::string* error);

    // What a PrintDialog opens on the fetched PPD, the settings file given (empty: none) or else
    // the queue's own settings.
    PrintDialogSetup setup(const std::string& settingsFile, const QueueSettingsStore& store, const std::string& plugInPath,
        const std::string& primaryPlugInPath, DialogPurpose purpose, SettingsWarning warn) const;

    const CupsDestination& destination() const { return m_destination; }
    const std::string& queue() const { return m_destination.queue; }

private:
    CupsDestination m_destination;
    StandIn::FileDescriptor m_ppd;
};
