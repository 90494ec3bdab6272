// A script's answer to the window of a queue whose printer asks for codes of its own
// (CodesForm.h), and the window's lines in the transcript:
//
//     codes: “report.pdf” on office asks for UserCode (User code), Pin (PIN)
//     codes: typed into UserCode
//     codes: given                 (or "saved: accounting on, ...", "cancelled", "unanswered")
//
// The script answers with lines of its own, each naming a field by its code's name (the PPD's
// option or the IPP attribute): "type NAME TEXT"; in the settings "check accounting|prompt|
// conceal|keyring on|off" too; and ends with "click OK" (the prompt), "click Save" (the settings)
// or "click Cancel". The codes are secrets: no value typed reaches the transcript or an error.
#pragma once

#include "queues/CodesForm.h"
#include "program/ProgramsExport.h"
#include "dialog/ScriptSource.h"

#include <functional>
#include <ostream>
#include <string>

// The script's answer. Accepted fills form's values (and, in the settings, its check boxes) from
// the script's; otherwise form is left as it was and *why says why no answer was given. A line
// that is not an answer to the window, names no field of it, or clicks OK or Save while a field
// holds what it cannot keep (codeFieldProblem) stops the script: *error ("line N: ...") says why.
PROGRAMS_EXPORT CodesFormAnswer answerCodesFromScript(ScriptSource& script, CodesForm* form, std::ostream& transcript, std::string* why,
    std::string* error);

// The window's first line, which a window on screen writes too: the queue, the document and each
// field's name and label.
PROGRAMS_EXPORT void transcribeCodesQuestion(std::ostream& transcript, const CodesForm& form);
// Its outcome's line: in the settings, what was saved besides the codes.
PROGRAMS_EXPORT void transcribeCodesAnswer(std::ostream& transcript, const CodesForm& form, CodesFormAnswer answer);

// The person's answer in the window on screen (window, as CodesFormAnswer's callers take it), its
// lines told to transcript as a script's are.
PROGRAMS_EXPORT CodesFormAnswer answerCodesInWindow(CodesForm* form, std::ostream& transcript,
    const std::function<CodesFormAnswer(CodesForm* form, std::string* why)>& window, std::string* why);
