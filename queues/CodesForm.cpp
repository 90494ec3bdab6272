#include "queues/CodesForm.h"

#include "queues/CodeValues.h"
#include "queues/QueueSettings.h"

std::string codeFieldProblem(const CodesForm& form, const CodeField& field)
{
    bool needed = form.purpose == CodesForm::Purpose::Prompt || (form.accountingOn && !form.askWhenPrinting);
    if (field.value.empty() && !needed)
        return "";
    return codeValueProblem(field.code, field.value);
}

std::string tooManyCodes(const PrinterCodes& codes)
{
    if (codes.codes.size() <= kMaxCodeFields)
        return "";
    return "its printer asks for " + std::to_string(codes.codes.size()) + " codes, more than the " + std::to_string(kMaxCodeFields)
        + " a codes window holds";
}

CodesAtPrint codesAtPrint(const PrinterCodes& codes, const QueueSettings& settings, CodesForm* form)
{
    if (!tooManyCodes(codes).empty())
        return CodesAtPrint::TooMany;
    form->concealed = settings.concealsPrinterCodes();
    form->fields.clear();
    bool stored = settings.sendsStoredCodes();
    for (const PrinterCode& code : codes.codes)
        form->fields.push_back({ code, stored ? settings.printerCode(code.name) : "" });
    if (!settings.accountingOn())
        return CodesAtPrint::AsItCame;
    std::vector<CodeSetting> ignored;
    std::string problem;
    return stored && codesJobSettings(form->fields, &ignored, &problem) ? CodesAtPrint::Stored : CodesAtPrint::Ask;
}
