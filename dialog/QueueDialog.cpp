#include "QueueDialog.h"

#include "CupsPrinter.h"
#include "QueueSettings.h"

bool QueueDialog::fetch(const CupsDestination& destination, std::string* error)
{
    m_destination = destination;
    return fetchQueuePPD(destination, &m_ppd, error);
}

PrintDialogSetup QueueDialog::setup(const std::string& settingsFile, const QueueSettingsStore& store, const std::string& plugInPath,
    const std::string& primaryPlugInPath, DialogPurpose purpose, SettingsWarning warn) const
{
    std::string settings = settingsFile;
    if (settings.empty() && store.holds(queue()))
        settings = store.pathOf(queue());
    std::vector<StandIn::TicketItem> unstored;
    if (settings.empty())
        unstored = QueueSettings::unstored().items();
    return { queuePPDPath(m_ppd), settings, plugInPath, primaryPlugInPath, "the PPD of queue " + queue(), std::move(warn), purpose, unstored, queue() };
}
