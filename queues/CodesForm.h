// The window of a queue whose printer asks for codes of its own (a user code, an account, a PIN;
// PrinterCodes.h), built from the queue's codes: one field per code, with its label and its
// bounds. It serves twice: as the prompt when a job is printed (the codes for that job), and as
// the queue's settings window (accounting on or off, asked for at print time or the default codes
// stored, concealed or not, kept in the keyring or in the queue's file).
#pragma once

#include "program/ProgramsExport.h"
#include "queues/PrinterCodes.h"

#include <string>
#include <vector>

class QueueSettings;

struct CodeField {
    PrinterCode code;
    // What the field holds: filled in beforehand (stored codes to confirm, or the settings'
    // defaults), and what the person left in it.
    std::string value;
};

struct CodesForm {
    enum class Purpose {
        Prompt, // a job is printed: OK prints it with the codes, Cancel cancels the job
        Settings, // the queue's settings: Save keeps them, Cancel changes nothing
    };
    Purpose purpose { Purpose::Prompt };
    // Prompt: the job's document, for the title, which names it and the queue as the pane's
    // prompt does.
    std::string document;
    std::string queue;
    // A line shown above the fields, when not empty (where the job came from, say).
    std::string note;
    std::vector<CodeField> fields;
    // The fields show dots in place of what is typed.
    bool concealed { true };
    // Settings only.
    bool accountingOn { true };
    bool askWhenPrinting { true };
    bool keepInKeyring { true };
};

enum class CodesFormAnswer {
    Accepted, // OK or Save: every field holds a value of its code (codeValueProblem)
    Cancelled,
    Unanswered, // nobody answered: no display, a script without an answer, the agent stopping
};

// Why field's value cannot be kept as it is (codeValueProblem's words), empty when it can. A
// prompt needs a value of every code; the settings need one only when accounting is on and the
// codes are not asked when printing (they are the codes each print goes with), and otherwise
// take a field left empty too.
PROGRAMS_EXPORT std::string codeFieldProblem(const CodesForm& form, const CodeField& field);

// A field for each of the printer's codes, holding the code's value in *filledFrom, or empty when
// filledFrom is null.
PROGRAMS_EXPORT std::vector<CodeField> codeFields(const PrinterCodes& codes, const QueueSettings* filledFrom);

// The most fields a codes window holds. A printer asks for a few codes; a PPD that declares more
// than this (one made to hurt the programs) gets no window that nobody could fill in, nor a print
// that goes with some of its codes: the programs say why instead (tooManyCodes).
constexpr size_t kMaxCodeFields = 32;

// Why the codes cannot go into a window ("its printer asks for 200000 codes, more than the 32 a
// codes window holds"); empty when they can.
PROGRAMS_EXPORT std::string tooManyCodes(const PrinterCodes& codes);
