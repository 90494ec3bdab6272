#include "dialog/ScriptCodes.h"

#include "queues/CodeValues.h"
#include "program/PrintableText.h"
#include "dialog/ScriptLine.h"
#include "program/SecretWipe.h"

#include <algorithm>
#include <optional>

namespace {

// A settings check box, by the word a script names it with.
bool* checkBox(CodesForm& form, const std::string& word)
{
    if (word == "accounting")
        return &form.accountingOn;
    if (word == "prompt")
        return &form.askWhenPrinting;
    if (word == "conceal")
        return &form.concealed;
    if (word == "keyring")
        return &form.keepInKeyring;
    return nullptr;
}

std::string usage(const CodesForm& form)
{
    return form.purpose == CodesForm::Purpose::Prompt
        ? "the codes window is up: it takes \"type NAME TEXT\", \"click OK\" or \"click Cancel\""
        : "the codes window is up: it takes \"type NAME TEXT\", \"check accounting|prompt|conceal|keyring on|off\", \"click Save\" or \"click Cancel\"";
}

std::string fieldNamed(const CodeField& field)
{
    return printableText(field.code.name) + " (" + printableText(field.code.label) + ")";
}

// Why the window's OK or Save cannot be clicked: the first field that holds what it cannot keep,
// or the fields that cannot go together.
std::string formProblem(const CodesForm& form)
{
    for (const CodeField& field : form.fields) {
        std::string problem = codeFieldProblem(form, field);
        if (!problem.empty())
            return fieldNamed(field) + ": " + problem;
    }
    return fieldsProblem(form.fields);
}

void wipe(CodesForm& form)
{
    for (CodeField& field : form.fields)
        wipeSecret(field.value);
}

}

void transcribeCodesQuestion(std::ostream& transcript, const CodesForm& form)
{
    transcript << "codes: ";
    if (form.purpose == CodesForm::Purpose::Settings)
        transcript << "the settings of " << printableText(form.queue) << ", for ";
    else
        transcript << (form.document.empty() ? std::string("a print") : "\u201C" + printableText(form.document) + "\u201D") << " on "
                   << printableText(form.queue) << " asks for ";
    for (size_t index = 0; index < form.fields.size(); ++index)
        transcript << (index == 0 ? "" : ", ") << fieldNamed(form.fields[index]);
    transcript << std::endl;
}

void transcribeCodesAnswer(std::ostream& transcript, const CodesForm& form, CodesFormAnswer answer)
{
    transcript << "codes: ";
    if (answer == CodesFormAnswer::Cancelled)
        transcript << "cancelled";
    else if (answer == CodesFormAnswer::Unanswered)
        transcript << "unanswered";
    else if (form.purpose == CodesForm::Purpose::Prompt)
        transcript << "given";
    else
        transcript << "saved: accounting " << (form.accountingOn ? "on" : "off") << ", "
                   << (form.askWhenPrinting ? "asked when printing" : "the default codes used") << ", "
                   << (form.concealed ? "concealed" : "shown as typed") << ", " << (form.keepInKeyring ? "in the keyring" : "in the queue's file");
    transcript << std::endl;
}

CodesFormAnswer answerCodesFromScript(ScriptSource& script, CodesForm* form, std::ostream& transcript, std::string* why, std::string* error)
{
    transcribeCodesQuestion(transcript, *form);
    // What the script typed and checked goes to form only with OK or Save.
    CodesForm answered = *form;
    auto stop = [&](const std::string& problem) {
        *why = "the script stopped at line " + std::to_string(script.lineNumber());
        *error = "line " + std::to_string(script.lineNumber()) + ": " + problem;
        wipe(answered);
        transcribeCodesAnswer(transcript, *form, CodesFormAnswer::Unanswered);
        return CodesFormAnswer::Unanswered;
    };
    bool settings = form->purpose == CodesForm::Purpose::Settings;
    for (;;) {
        std::string text;
        std::string problem;
        ScriptSource::Read read = script.nextLine(text, &problem);
        if (read == ScriptSource::Read::End) {
            *why = "the script has no more lines to answer the codes window with";
            wipe(answered);
            transcribeCodesAnswer(transcript, *form, CodesFormAnswer::Unanswered);
            return CodesFormAnswer::Unanswered;
        }
        if (read == ScriptSource::Read::Failed)
            return stop(problem);
        std::optional<ScriptLine> line = parseScriptLine(text, script.lineNumber(), &problem);
        wipeSecret(text);
        if (!line)
            return stop(problem);
        const std::string& action = line->action;
        std::vector<std::string>& words = line->arguments;
        if (action.empty())
            continue;
        if (action == "type" && words.size() == 2) {
            auto field = std::find_if(answered.fields.begin(), answered.fields.end(), [&](const CodeField& each) { return each.code.name == words[0]; });
            if (field == answered.fields.end()) {
                wipeSecret(words[1]);
                return stop("the codes window has no field " + printableText(words[0]));
            }
            wipeSecret(field->value);
            field->value = std::move(words[1]);
            wipeSecret(words[1]);
            transcript << "codes: typed into " << printableText(field->code.name) << std::endl;
            continue;
        }
        if (action == "check" && settings && words.size() == 2 && checkBox(answered, words[0]) && (words[1] == "on" || words[1] == "off")) {
            *checkBox(answered, words[0]) = words[1] == "on";
            transcript << "codes: " << words[0] << " " << words[1] << std::endl;
            continue;
        }
        if (action == "click" && words.size() == 1 && words[0] == "Cancel") {
            *why = "the codes window was cancelled";
            wipe(answered);
            transcribeCodesAnswer(transcript, *form, CodesFormAnswer::Cancelled);
            return CodesFormAnswer::Cancelled;
        }
        if (action == "click" && words.size() == 1 && words[0] == (settings ? "Save" : "OK")) {
            std::string unfit = formProblem(answered);
            if (!unfit.empty())
                return stop(words[0] + " cannot be clicked: " + unfit);
            wipe(*form);
            *form = std::move(answered);
            transcribeCodesAnswer(transcript, *form, CodesFormAnswer::Accepted);
            return CodesFormAnswer::Accepted;
        }
        for (std::string& word : words)
            wipeSecret(word);
        return stop(usage(*form));
    }
}

CodesFormAnswer answerCodesInWindow(CodesForm* form, std::ostream& transcript, const std::function<CodesFormAnswer(CodesForm* form, std::string* why)>& window,
    std::string* why)
{
    transcribeCodesQuestion(transcript, *form);
    CodesFormAnswer answer = window(form, why);
    transcribeCodesAnswer(transcript, *form, answer);
    return answer;
}
