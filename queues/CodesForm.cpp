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

std::vector<CodeField> codeFields(const PrinterCodes& codes, const QueueSettings* filledFrom)
{
    std::vector<CodeField> fields;
    for (const PrinterCode& code : codes.codes)
        fields.push_back({ code, filledFrom ? filledFrom->printerCode(code.name) : "" });
    return fields;
}
