#include "dialog/ScriptPassword.h"

#include "dialog/ScriptLine.h"

#include <optional>

void transcribePasswordQuestion(std::ostream& transcript, const PasswordQuestion& question)
{
    transcript << "password: " << question.server << " asks for the password of " << question.user
               << (question.refused ? ", as it refused the one given" : "") << std::endl;
}

void transcribePasswordAnswer(std::ostream& transcript, bool given, const PasswordAnswer& answer)
{
    transcript << "password: " << (!given ? "cancelled" : answer.remember ? "given, to be remembered"
                                                                          : "given")
               << std::endl;
}

bool answerPasswordInWindow(const PasswordQuestion& question, std::ostream& transcript, const PasswordAsker& window, PasswordAnswer* answer,
    std::string* why)
{
    transcribePasswordQuestion(transcript, question);
    bool given = window(question, answer, why);
    if (!given && why->empty())
        *why = "the password window was cancelled";
    transcribePasswordAnswer(transcript, given, *answer);
    return given;
}

ScriptPasswordAnswer answerPasswordFromScript(ScriptSource& script, const PasswordQuestion& question, std::ostream& transcript, PasswordAnswer* answer,
    std::string* why, std::string* error)
{
    transcribePasswordQuestion(transcript, question);
    for (;;) {
        std::string text;
        std::string problem;
        ScriptSource::Read read = script.nextLine(text, &problem);
        if (read == ScriptSource::Read::End) {
            *why = "the script has no more lines to answer the password window with";
            return ScriptPasswordAnswer::Stopped;
        }
        std::optional<ScriptLine> line;
        if (read == ScriptSource::Read::Line)
            line = parseScriptLine(text, script.lineNumber(), &problem);
        if (line && line->action.empty())
            continue;
        bool password = line && line->action == "password" && !line->arguments.empty() && !line->arguments[0].empty()
            && (line->arguments.size() == 1 || (line->arguments.size() == 2 && line->arguments[1] == "remember"));
        if (password) {
            answer->password = line->arguments[0];
            answer->remember = line->arguments.size() == 2;
            transcribePasswordAnswer(transcript, true, *answer);
            return ScriptPasswordAnswer::Given;
        }
        if (line && line->action == "cancel" && line->arguments.empty()) {
            *why = "the password window was cancelled";
            transcribePasswordAnswer(transcript, false, *answer);
            return ScriptPasswordAnswer::Cancelled;
        }
        *why = "the script stopped at line " + std::to_string(script.lineNumber());
        *error = "line " + std::to_string(script.lineNumber()) + ": "
            + (line ? "the password window is up: it takes \"password TEXT\", \"password TEXT remember\" or \"cancel\"" : problem);
        return ScriptPasswordAnswer::Stopped;
    }
}
