#include "CodesForm.h"

#include "CodeValues.h"

std::string codeFieldProblem(const CodesForm& form, const CodeField& field)
{
    bool needed = form.purpose == CodesForm::Purpose::Prompt || (form.accountingOn && !form.askWhenPrinting);
    if (field.value.empty() && !needed)
        return "";
    return codeValueProblem(field.code, field.value);
}
