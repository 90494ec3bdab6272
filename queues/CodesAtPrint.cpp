#include "queues/CodesAtPrint.h"

#include "queues/CodeValues.h"
#include "queues/QueueSettings.h"

CodesAtPrint codesAtPrint(const PrinterCodes& codes, const QueueSettings& settings, CodesForm* form)
{
    if (!tooManyCodes(codes).empty())
        return CodesAtPrint::TooMany;
    form->concealed = settings.concealsPrinterCodes();
    bool stored = settings.sendsStoredCodes();
    form->fields = codeFields(codes, stored ? &settings : nullptr);
    if (!settings.accountingOn())
        return CodesAtPrint::AsItCame;
    std::vector<CodeSetting> ignored;
    std::string problem;
    return stored && codesJobSettings(form->fields, &ignored, &problem) ? CodesAtPrint::Stored : CodesAtPrint::Ask;
}
