#include "agent/CodesWindowProcess.h"

#include "queues/CodeValues.h"
#include "dialog/ScreenModule.h"
#include "program/SecretWipe.h"
#include "agent/WindowProcess.h"

namespace {

// What the window's process writes: 'A' and each field's value ended by a NUL, which no code
// holds (CodeValues.h); or 'C' or 'U' and why no answer was given. The agent asks only a job's
// prompt, which has no check boxes to hand back.

std::string answerBytes(CodesForm& form, CodesFormAnswer answer, const std::string& error)
{
    if (answer == CodesFormAnswer::Cancelled)
        return "Cthe codes window was cancelled";
    if (answer != CodesFormAnswer::Accepted)
        return "Uthe codes window cannot go on screen: " + error;
    std::string bytes = "A";
    for (CodeField& field : form.fields) {
        bytes += field.value;
        bytes += '\0';
        wipeSecret(field.value);
    }
    return bytes;
}

// The answer read back into a copy of form: false when it is not one the window could give (a
// field too many or too few, a value the field cannot keep, codes that cannot go together).
bool readAnswer(const std::string& said, CodesForm* answered)
{
    if (said.empty() || said[0] != 'A')
        return false;
    size_t start = 1;
    for (CodeField& field : answered->fields) {
        size_t end = said.find('\0', start);
        if (end == std::string::npos)
            return false;
        wipeSecret(field.value);
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
        const ScreenModule* frontEnd = loadScreenModule(&error);
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
                wipeSecret(field.value);
            *form = std::move(answered);
            answer = CodesFormAnswer::Accepted;
        } else {
            for (CodeField& field : answered.fields)
                wipeSecret(field.value);
            *why = "the codes window's process ended without an answer";
        }
    }
    wipeSecret(said);
    return answer;
}
