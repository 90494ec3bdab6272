#include "CodesSettings.h"

#include "PrintDialogCommand.h"
#include "QueueSettings.h"

namespace {

constexpr SInt32 kModeOff = 1;
constexpr SInt32 kModeAccounting = 3;

CodesForm formOf(const std::string& queue, const PrinterCodes& codes, const QueueSettings& settings, QueueSettingsStore::CodesChoice keepCodes)
{
    using Choice = QueueSettingsStore::CodesChoice;
    CodesForm form;
    form.purpose = CodesForm::Purpose::Settings;
    form.queue = queue;
    form.concealed = settings.concealsPrinterCodes();
    form.accountingOn = settings.accountingOn();
    form.askWhenPrinting = settings.asksForCodes();
    form.keepInKeyring = keepCodes == Choice::AsBefore ? settings.codesPlace() != QueueSettings::CodesPlace::FileByChoice : keepCodes != Choice::File;
    for (const PrinterCode& code : codes.codes)
        form.fields.push_back({ code, settings.printerCode(code.name) });
    return form;
}

}

int configurePrinterCodes(const CupsDestination& destination, const PrinterCodes& codes, const QueueSettingsStore& store,
    QueueSettingsStore::CodesChoice keepCodes, const CodesFormAsker& ask, Transcript& transcript, Conversation& conversation, std::ostream& err)
{
    auto warn = [&err](const std::string& warning) { err << "printdialog: warning: " << warning << "\n"; };
    QueueSettings settings = QueueSettings::unstored();
    std::string error;
    if (store.holds(destination.queue) && !store.load(destination, QueueSettingsStore::CodesRead::Always, warn, &settings, &error)) {
        conversation.tell(error);
        return kExitError;
    }
    CodesForm form = formOf(destination.queue, codes, settings, keepCodes);
    std::string why;
    switch (ask(&form, &why)) {
    case CodesFormAnswer::Accepted:
        break;
    case CodesFormAnswer::Cancelled:
        return kExitNotPrinted;
    case CodesFormAnswer::Unanswered:
        conversation.tell(why);
        return kExitError;
    }
    settings.set(QueueSettings::Entry::Mode, form.accountingOn ? kModeAccounting : kModeOff);
    settings.set(QueueSettings::Entry::Prompt, form.askWhenPrinting ? 1 : 0);
    settings.setConcealsPrinterCodes(form.concealed);
    QueueCodes kept;
    for (const CodeField& field : form.fields) {
        if (!field.value.empty())
            kept.printerCodes.emplace_back(field.code.name, field.value);
    }
    settings.setCodes(kept);
    using Choice = QueueSettingsStore::CodesChoice;
    Choice choice = !form.keepInKeyring ? Choice::File : keepCodes == Choice::KeyringOnly ? Choice::KeyringOnly
                                                                                          : Choice::Keyring;
    std::string note;
    if (!store.store(destination, settings.printSettings(), choice, &error, &note)) {
        conversation.tell("the settings of queue " + destination.queue + " were not stored: " + error);
        return kExitError;
    }
    if (!note.empty())
        warn(note);
    transcript.saved();
    return kExitPrinted;
}
