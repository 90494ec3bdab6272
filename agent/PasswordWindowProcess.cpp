#include "agent/PasswordWindowProcess.h"

#include "dialog/ScreenModule.h"
#include "agent/WindowProcess.h"
#include "program/SecretWipe.h"

bool askPasswordOnScreen(const PasswordQuestion& question, PasswordAnswer* answer, std::string* why)
{
    auto ask = [&question] {
        std::string error;
        PasswordAnswer answer;
        const ScreenModule* frontEnd = loadScreenModule(&error);
        if (frontEnd && frontEnd->askPassword(question, &answer, &error))
            return WindowMessage::passwordGiven(answer);
        return WindowMessage::passwordNotGiven(error.empty() ? std::string("the password window was cancelled") : "the password window cannot go on screen: " + error);
    };
    std::optional<WindowMessage> said;
    if (!answerInWindowProcess("the password window", ask, &said, why))
        return false;
    PasswordAnswer given;
    // A password holds no NUL: what goes past one is not what the person typed.
    if (said && said->passwordGiven(&given) && !given.password.empty() && given.password.find('\0') == std::string::npos) {
        *answer = std::move(given);
        return true;
    }
    wipeSecret(given.password);
    if (!said || !said->why(why))
        *why = "the password window's process ended without an answer";
    return false;
}
