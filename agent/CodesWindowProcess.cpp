#include "agent/CodesWindowProcess.h"

#include "queues/CodeValues.h"
#include "dialog/ScreenModule.h"
#include "program/SecretWipe.h"
#include "agent/WindowProcess.h"

namespace {

// The agent asks only a job's prompt, which has no check boxes to hand back: the answer is the
// fields' values.
WindowMessage answerMessage(CodesForm& form, CodesFormAnswer answer, const std::string& error)
{
    if (answer == CodesFormAnswer::Cancelled)
        return WindowMessage::codesCancelled("the codes window was cancelled");
    if (answer != CodesFormAnswer::Accepted)
        return WindowMessage::codesUnanswered("the codes window cannot go on screen: " + error);
    return WindowMessage::codesAccepted(form.fields);
}

// The answer read into a copy of form: false when it is not one the window could give (a field
// too many or too few, a value the field cannot keep, codes that cannot go together).
bool readAnswer(const WindowMessage& said, CodesForm* answered)
{
    if (!said.codesAccepted(&answered->fields))
        return false;
    for (const CodeField& field : answered->fields) {
        if (!codeFieldProblem(*answered, field).empty())
            return false;
    }
    return fieldsProblem(answered->fields).empty();
}

}

CodesFormAnswer askCodesOnScreen(CodesForm* form, std::string* why)
{
    auto ask = [form] {
        std::string error;
        const ScreenModule* frontEnd = loadScreenModule(&error);
        CodesForm shown = *form;
        CodesFormAnswer answer = frontEnd ? frontEnd->askCodes(&shown, &error) : CodesFormAnswer::Unanswered;
        WindowMessage message = answerMessage(shown, answer, error);
        for (CodeField& field : shown.fields)
            wipeSecret(field.value);
        return message;
    };
    std::optional<WindowMessage> said;
    if (!answerInWindowProcess("the codes window", ask, &said, why))
        return CodesFormAnswer::Unanswered;
    if (said && (said->kind() == WindowMessage::Kind::CodesCancelled || said->kind() == WindowMessage::Kind::CodesUnanswered) && said->why(why))
        return said->kind() == WindowMessage::Kind::CodesCancelled ? CodesFormAnswer::Cancelled : CodesFormAnswer::Unanswered;
    CodesForm answered = *form;
    if (said && readAnswer(*said, &answered)) {
        for (CodeField& field : form->fields)
            wipeSecret(field.value);
        *form = std::move(answered);
        return CodesFormAnswer::Accepted;
    }
    for (CodeField& field : answered.fields)
        wipeSecret(field.value);
    *why = "the codes window's process ended without an answer";
    return CodesFormAnswer::Unanswered;
}
