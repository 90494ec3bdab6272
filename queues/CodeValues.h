// What a value may be for a code a printer asks for, and how a job carries it. Every value a
// person types or stores for such a code passes codeValueProblem before it goes anywhere: some
// drivers paste a code into PostScript, into a PJL command or onto a shell's command line, and a
// job's options travel through the server's own "name=value" syntax, so a value holds letters,
// digits and the few marks "+-.:@_" alone, whatever the code's kind would allow besides.
#pragma once

#include "queues/CodesForm.h"
#include "program/ProgramsExport.h"
#include "queues/PrinterCodes.h"

#include <string>
#include <string_view>
#include <vector>

// The marks a code may hold besides letters and digits.
constexpr std::string_view kCodeMarks = "+-.:@_";

// Why value is not a value of code, in the person's language and without quoting it (it is a
// secret); empty when it is one. An empty value is one for a code whose least length is 0 (a PIN
// left blank: the job goes unprotected), and for a code that makes the job another kind of job
// (its companions: a locked print's password left blank prints the job as usual).
PROGRAMS_EXPORT std::string codeValueProblem(const PrinterCode& code, std::string_view value);
// Why the fields cannot go together, in the person's language; empty when they can: two codes
// filled in that set the same companion to different choices (a locked print's password and a
// document server's both make the job type theirs).
PROGRAMS_EXPORT std::string fieldsProblem(const std::vector<CodeField>& fields);

// One thing a job carries for a code: a job option (the PPD's option and choice, "Custom.VALUE"
// for a custom option's value), or a job attribute.
struct CodeSetting {
    std::string name;
    std::string value;
    bool jobAttribute { false };
    bool operator==(const CodeSetting&) const = default;
};

// What the job carries for code holding value (checked by codeValueProblem): the code itself,
// then each companion at its first choice. Nothing for an empty value.
PROGRAMS_EXPORT std::vector<CodeSetting> codeJobSettings(const PrinterCode& code, std::string_view value);

// What the job carries for the codes the fields hold (codeJobSettings of each), once every value
// is one its code allows and they can go together; false otherwise, with *problem naming the code
// and saying why, never quoting a value.
PROGRAMS_EXPORT bool codesJobSettings(const std::vector<CodeField>& fields, std::vector<CodeSetting>* settings, std::string* problem);
