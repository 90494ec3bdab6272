// Whoever answers what the programs ask of their person: a script, its lines read in order, or the
// person on screen. printdialog gives one its whole dialog (printdialog/DialogAnswerer.h), the
// accounting agent one held job's click at a time (agent/PromptAnswerer.h); both ask it the
// windows that come between, each told to a transcript: a print server's password, and the codes
// of a queue whose printer asks for codes of its own.
#pragma once

#include "queues/CodesForm.h"
#include "queues/ServerPasswords.h"

#include <ostream>
#include <string>

class Answerer {
public:
    virtual ~Answerer() = default;

    // A print server's demand for the person's password, told to transcript: true with *answer
    // when one was given; false with *why otherwise, and *error for a fault of the answerer's own
    // (a script's line that does not answer it). One that answers prompts alone gives none.
    virtual bool askPassword(const PasswordQuestion&, std::ostream&, PasswordAnswer*, std::string*, std::string*) { return false; }

    // The window of a queue whose printer asks for codes of its own (CodesForm.h), told to
    // transcript: Accepted with the person's values in *form; otherwise *why says why none were
    // given, and *error holds a fault of the answerer's own.
    virtual CodesFormAnswer askCodes(CodesForm*, std::ostream&, std::string* why, std::string*)
    {
        *why = "nobody answers its codes window";
        return CodesFormAnswer::Unanswered;
    }
};
