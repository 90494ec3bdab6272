#include "printdialog/CodesSettings.h"

#include "queues/CodeValues.h"
#include "queues/CodesAtPrint.h"
#include "printdialog/PrintDialogCommand.h"
#include "queues/QueueSettings.h"

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
    form.fields = codeFields(codes, &settings);
    return form;
}

}

Going addPrinterCodes(const PrinterCodes& codes, const QueueSettings& stored, const std::string& document, const std::string& queue,
    const CodesFormAsker& ask, std::vector<StandIn::TicketItem>* items, Conversation& conversation)
{
    CodesForm form;
    form.document = document;
    form.queue = queue;
    CodesAtPrint atPrint = codesAtPrint(codes, stored, &form);
    if (atPrint == CodesAtPrint::AsItCame)
        return Going::On;
    if (atPrint == CodesAtPrint::TooMany) {
        conversation.tell("the job on " + queue + " was not sent: " + tooManyCodes(codes));
        return Going::Failed;
    }
    std::string why;
    if (atPrint == CodesAtPrint::Ask) {
        CodesFormAnswer answer = ask(&form, &why);
        if (answer == CodesFormAnswer::Cancelled)
            return Going::Declined;
        if (answer == CodesFormAnswer::Unanswered) {
            conversation.tell(why);
            return Going::Failed;
        }
    }
    std::vector<CodeSetting> carried;
    if (!codesJobSettings(form.fields, &carried, &why)) {
        conversation.tell("the job on " + queue + " was not sent: " + why);
        return Going::Failed;
    }
    for (const CodeSetting& setting : carried)
        items->push_back({ setting.name, "", true, 0, setting.value, false });
    return Going::On;
}

int configurePrinterCodes(const CupsDestination& destination, const PrinterCodes& codes, const QueueSettingsStore& store,
    QueueSettingsStore::CodesChoice keepCodes, const CodesFormAsker& ask, Transcript& transcript, Conversation& conversation, std::ostream& err)
{
    if (std::string problem = tooManyCodes(codes); !problem.empty()) {
        conversation.tell("the settings of queue " + destination.queue + " cannot be shown: " + problem);
        return kExitError;
    }
    auto warn = [&err](const std::string& warning) { err << "printdialog: warning: " << warning << "\n"; };
    QueueSettings settings = QueueSettings::unstored();
    std::string error;
    if (store.holds(destination) && !store.load(destination, QueueSettingsStore::CodesRead::Always, warn, &settings, &error)) {
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
