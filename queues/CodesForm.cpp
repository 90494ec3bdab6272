#include "CodesForm.h"

#include "CodeValues.h"
#include "QueueSettings.h"

std::string codeFieldProblem(const CodesForm& form, const CodeField& field)
{
    bool needed = form.purpose == CodesForm::Purpose::Prompt || (form.accountingOn && !form.askWhenPrinting);
    if (field.value.empty() && !needed)
        return "";
    return codeValueProblem(field.code, field.value);
}

CodesAtPrint codesAtPrint(const PrinterCodes& codes, const QueueSettings& settings, CodesForm* form)
{
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
