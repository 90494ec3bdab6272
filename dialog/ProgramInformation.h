// --help and --version, which every program of the product answers alike: on standard output,
// with status 0, whatever else its command line holds, before anything is checked or loaded.
#pragma once

#include "DialogExport.h"

#include <ostream>
#include <string>
#include <vector>

enum class InformationRequest {
    None,
    Help,
    Version,
};

// What the command line asks for: --help or -h, --version, or neither.
DIALOG_EXPORT InformationRequest informationRequest(const std::vector<std::string>& arguments);

// The usage for Help, "PROGRAM VERSION" for Version.
DIALOG_EXPORT void answerInformationRequest(InformationRequest request, const char* program, const char* usage, std::ostream& out);
