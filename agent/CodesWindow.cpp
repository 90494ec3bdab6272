#include "CodesWindow.h"

#include "CodeValues.h"
#include "ScreenFrontEnd.h"
#include "WindowProcess.h"

#include <algorithm>

namespace {

// What the window's process writes: 'A', the four check boxes as '0' or '1' (accounting on, asked
// when printing, concealed, in the keyring) and each field's value ended by a NUL, which no code
// holds (CodeValues.h); or 'C' or 'U' and why no answer was given.
constexpr size_t kChecks = 4;

std::string answerBytes(CodesForm& form, CodesFormAnswer answer, const std::string& error)
{
    if (answer == CodesFormAnswer::Cancelled)
        return "Cthe codes window was cancelled";
    if (answer != CodesFormAnswer::Accepted)
        return "Uthe codes window cannot go on screen: " + error;
    std::string bytes = "A";
    for (bool check : { form.accountingOn, form.askWhenPrinting, form.concealed, form.keepInKeyring })
        bytes += check ? '1' : '0';
    for (CodeField& field : form.fields) {
        bytes += field.value;
        bytes += '\0';
        std::fill(field.value.begin(), field.value.end(), '\0');
    }
    return bytes;
}

void wipe(std::string& secret)
{
    std::fill(secret.begin(), secret.end(), '\0');
    secret.clear();
}

// The answer read back into a copy of form: false when it is not one the window could give (a
// field too many or too few, a value the field cannot keep, codes that cannot go together).
bool readAnswer(const std::string& said, CodesForm* answered)
{
    if (said.size() < 1 + kChecks || said[0] != 'A')
        return false;
    bool* checks[kChecks] = { &answered->accountingOn, &answered->askWhenPrinting, &answered->concealed, &answered->keepInKeyring };
    for (size_t index = 0; index < kChecks; ++index) {
        char check = said[1 + index];
        if (check != '0' && check != '1')
            return false;
        *checks[index] = check == '1';
    }
    size_t start = 1 + kChecks;
    for (CodeField& field : answered->fields) {
        size_t end = said.find('\0', start);
        if (end == std::string::npos)
            return false;
        wipe(field.value);
        field.value.assign(said, start, end - start);
        start = end + 1;
        if (!codeFieldProblem(*answered, field).empty())
            return false;
    }
    return start == said.size() && fieldsProblem(answered->fields).empty();
}

}

CodesFormAnswer askCodesOnScreen(CodesForm* form, std::string* why)
{
    auto ask = [form] {
        std::string error;
        const ScreenFrontEnd* frontEnd = loadScreenFrontEnd(&error);
        CodesForm shown = *form;
        CodesFormAnswer answer = frontEnd ? frontEnd->askCodes(&shown, &error) : CodesFormAnswer::Unanswered;
        return answerBytes(shown, answer, error);
    };
    std::string said;
    if (!answerInWindowProcess("the codes window", ask, &said, why))
        return CodesFormAnswer::Unanswered;
    CodesFormAnswer answer = CodesFormAnswer::Unanswered;
    if (!said.empty() && (said[0] == 'C' || said[0] == 'U')) {
        answer = said[0] == 'C' ? CodesFormAnswer::Cancelled : CodesFormAnswer::Unanswered;
        *why = said.substr(1);
    } else {
        CodesForm answered = *form;
        if (readAnswer(said, &answered)) {
            for (CodeField& field : form->fields)
                wipe(field.value);
            *form = std::move(answered);
            answer = CodesFormAnswer::Accepted;
        } else {
            for (CodeField& field : answered.fields)
                wipe(field.value);
            *why = "the codes window's process ended without an answer";
        }
    }
    wipe(said);
    return answer;
}
