#include "agent/PasswordWindowProcess.h"

#include "dialog/ScreenModule.h"
#include "program/SecretWipe.h"
#include "agent/WindowProcess.h"

bool askPasswordOnScreen(const PasswordQuestion& question, PasswordAnswer* answer, std::string* why)
{
    // What the window's process writes: 'G' or 'R' (given; to be remembered) and the password, or
    // 'C' and why none was given.
    auto ask = [&question] {
        std::string error;
        PasswordAnswer answer;
        const ScreenModule* frontEnd = loadScreenModule(&error);
        bool given = frontEnd && frontEnd->askPassword(question, &answer, &error);
        std::string bytes = given ? (answer.remember ? "R" : "G") + answer.password
                                  : "C" + (error.empty() ? std::string("the password window was cancelled") : "the password window cannot go on screen: " + error);
        wipeSecret(answer.password);
        return bytes;
    };
    std::string said;
    if (!answerInWindowProcess("the password window", ask, &said, why))
        return false;
    // A password holds no NUL: what goes past one is not what the person typed.
    bool given = said.size() > 1 && (said[0] == 'G' || said[0] == 'R') && said.find('\0') == std::string::npos;
    if (given) {
        answer->password = said.substr(1);
        answer->remember = said[0] == 'R';
    } else {
        *why = !said.empty() && said[0] == 'C' ? said.substr(1) : "the password window's process ended without an answer";
    }
    wipeSecret(said);
    return given;
}
