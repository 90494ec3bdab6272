// A script's answer to a print server's password window, the window's lines in the transcript:
//
//     password: the CUPS server at HOST:PORT asks for the password of USER
//     password: given            (or "given, to be remembered", or "cancelled")
//
// The script answers with its next line: "password TEXT", "password TEXT remember" (kept in the
// desktop's keyring once the server takes it), or "cancel". The password never reaches the
// transcript.
#pragma once

#include "program/ProgramsExport.h"
#include "dialog/ScriptSource.h"
#include "queues/ServerPasswords.h"

#include <ostream>
#include <string>

enum class ScriptPasswordAnswer {
    Given, // *answer holds it
    Cancelled, // the script's "cancel"
    Stopped, // the script has no more lines, or one that is not an answer to the window
};

// The script's answer. For Cancelled and Stopped, *why says why no password was given; when the
// script's line is not an answer to the window or cannot be read, *error ("line N: ...") as well.
PROGRAMS_EXPORT ScriptPasswordAnswer answerPasswordFromScript(ScriptSource& script, const PasswordQuestion& question, std::ostream& transcript,
    PasswordAnswer* answer, std::string* why, std::string* error);

// The window's first line, which a window on screen writes too.
PROGRAMS_EXPORT void transcribePasswordQuestion(std::ostream& transcript, const PasswordQuestion& question);
// Its answer's line.
PROGRAMS_EXPORT void transcribePasswordAnswer(std::ostream& transcript, bool given, const PasswordAnswer& answer);

// The person's answer in a password window on screen (window), its lines told to transcript as a
// script's are; a window that gives no reason was cancelled.
PROGRAMS_EXPORT bool answerPasswordInWindow(const PasswordQuestion& question, std::ostream& transcript, const PasswordAsker& window, PasswordAnswer* answer,
    std::string* why);
