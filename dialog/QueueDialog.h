// A Print dialog for a CUPS queue, as every program that plays the printing system opens one: the
// queue's PPD fetched into memory (CupsPrinter.h), kept for as long as the dialog may read it,
// and the settings the dialog starts from: a file given, else the queue's stored settings (with
// the codes that the desktop's keyring keeps for it, where the dialog needs them), else the
// settings of a queue with nothing stored (QueueSettings::unstored).
#pragma once

#include "queues/CupsDestination.h"
#include "program/ProgramsExport.h"
#include "dialog/PrintDialog.h"
#include "queues/PrinterCodes.h"
#include "queues/QueueSettingsStore.h"

#include <Base/RegularFile.h>

#include <string>

class PROGRAMS_EXPORT QueueDialog {
public:
    // Fetches the queue's PPD. False, with the reason in *error.
    bool fetch(const CupsDestination& destination, std::string* error);

    // What a PrintDialog opens on the fetched PPD: the settings file given (empty: none), read by
    // the dialog alone, or else the queue's own settings. Their codes kept in the keyring are read
    // as codesRead says: always for a pane a person sees (a queue's settings window, which also
    // says where they are kept, or a Print dialog on screen), else only when they go with the job
    // without a prompt. False, with the reason in *error, when the stored settings or those codes
    // cannot be read.
    bool setup(const std::string& settingsFile, const QueueSettingsStore& store, const std::string& plugInPath, const std::string& primaryPlugInPath,
        DialogPurpose purpose, QueueSettingsStore::CodesRead codesRead, SettingsWarning warn, PrintDialogSetup* setup, std::string* error) const;

    // The codes the queue's printer asks for: those of its fetched PPD, in the person's language,
    // with what the printer's IPP attributes add. False, with the reason in *error, when the PPD
    // cannot be read or the server cannot be asked.
    bool printerCodes(PrinterCodes* codes, std::string* error) const;

    const CupsDestination& destination() const { return m_destination; }
    const std::string& queue() const { return m_destination.queue; }

private:
    // What a queue's settings window says of where the stored codes are kept (the keyring, asked
    // now, when the file keeps them for want of one), and whether the person chose the file.
    CodesKeepingShown codesKeeping(const QueueSettings& stored, const std::string& file) const;

    CupsDestination m_destination;
    StandIn::FileDescriptor m_ppd;
};
