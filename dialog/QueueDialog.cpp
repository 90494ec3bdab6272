#include "dialog/QueueDialog.h"

#include "queues/CupsPrinter.h"
#include "program/ProgramTexts.h"
#include "queues/QueueCodesKeyring.h"
#include "queues/QueueSettings.h"

#include <CoreFoundation/CFPreferredLanguagesStandIn.h>
#include <PrintCore/PPDLibStandIn.h>

bool QueueDialog::fetch(const CupsDestination& destination, std::string* error)
{
    m_destination = destination;
    return fetchQueuePPD(destination, &m_ppd, error);
}

bool QueueDialog::printerCodes(PrinterCodes* codes, std::string* error) const
{
    std::string text;
    StandIn::PPDError problem;
    if (StandIn::ppdReadFile(queuePPDPath(m_ppd), &text, &problem) != noErr) {
        *error = "the PPD of queue " + queue() + ": " + problem.describe();
        return false;
    }
    *codes = readPrinterCodes(text, StandIn::preferredLanguages());
    // A Movra printer's codes are the pane's whatever its attributes say: the server is not asked.
    if (codes->paneOwn)
        return true;
    PrinterCodeAttributes attributes;
    if (!fetchPrinterCodeAttributes(m_destination, &attributes, error))
        return false;
    addPrinterAttributes(codes, attributes);
    return true;
}

bool QueueDialog::setup(const std::string& settingsFile, const QueueSettingsStore& store, const std::string& plugInPath,
    const std::string& primaryPlugInPath, DialogPurpose purpose, QueueSettingsStore::CodesRead codesRead, SettingsWarning warn, PrintDialogSetup* setup,
    std::string* error) const
{
    *setup = { queuePPDPath(m_ppd), settingsFile, plugInPath, primaryPlugInPath, "the PPD of queue " + queue(), warn, purpose, {}, queue() };
    if (!settingsFile.empty())
        return true;
    QueueSettings settings = QueueSettings::unstored();
    if (store.holds(m_destination) && !store.load(m_destination, codesRead, warn, &settings, error))
        return false;
    setup->settingItems = settings.printSettings();
    // A pane a person sees offers the stored codes under "Use these codes" while the prompt is on.
    if (codesRead == QueueSettingsStore::CodesRead::Always && settings.asksForCodes())
        setup->defaultCodes = settings.codes();
    if (purpose == DialogPurpose::Configure)
        setup->codesKeeping = codesKeeping(settings, store.pathOf(m_destination));
    return true;
}

CodesKeepingShown QueueDialog::codesKeeping(const QueueSettings& stored, const std::string& file) const
{
    using Place = QueueSettings::CodesPlace;
    Place place = stored.codesPlace();
    if (place != Place::File)
        return { place == Place::Keyring ? programText("Codes In Keyring") : programText("Codes In File By Choice", { file }), place == Place::FileByChoice };
    // Codes kept in the file for want of a keyring, or from before one was used, go to one on Save.
    std::string absent;
    if (!QueueCodesKeyring(m_destination.timeout).available(&absent))
        return { programText("Codes In File Without Keyring", { file }), false };
    return { stored.codes().empty() ? programText("Codes In Keyring") : programText("Codes Move To Keyring", { file }), false };
}
