#include "ProgramInformation.h"

InformationRequest informationRequest(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h")
            return InformationRequest::Help;
        if (argument == "--version")
            return InformationRequest::Version;
    }
    return InformationRequest::None;
}

void answerInformationRequest(InformationRequest request, const char* program, const char* usage, std::ostream& out)
{
    if (request == InformationRequest::Help)
        out << usage << "\n";
    else if (request == InformationRequest::Version)
        out << program << " " << ACCOUNTING_VERSION << "\n";
}
