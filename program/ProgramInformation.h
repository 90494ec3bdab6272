// What every program of the product does before its own work, and alike: the process guards,
// then --help and --version, answered on standard output with status 0 whatever else the command
// line holds, before anything is checked or loaded.
#pragma once

#include "program/ProgramsExport.h"

#include <ostream>
#include <string>
#include <vector>

enum class InformationRequest {
    None,
    Help,
    Version,
};

// What the command line asks for: --help or -h, --version, or neither.
PROGRAMS_EXPORT InformationRequest informationRequest(const std::vector<std::string>& arguments);

// The usage for Help, "PROGRAM VERSION" for Version.
PROGRAMS_EXPORT void answerInformationRequest(InformationRequest request, const char* program, const char* usage, std::ostream& out);

struct ProgramIdentity {
    const char* name; // for messages and --version
    const char* usage; // for --help and after a wrong argument
    int errorStatus; // the exit status of an error
};

// Guards the process (ProcessGuards.h) and answers --help and --version. True when the program
// goes on with its arguments; false, with its exit status in *status, when it is done: the
// question answered, or a guard refused (with a line on standard error).
PROGRAMS_EXPORT bool startProgram(const ProgramIdentity& program, const std::vector<std::string>& arguments, int* status);
