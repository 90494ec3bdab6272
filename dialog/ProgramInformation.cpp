#include "ProgramInformation.h"

#include "ProcessGuards.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

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

bool startProgram(const ProgramIdentity& program, const std::vector<std::string>& arguments, int* status)
{
    std::string error;
    // Whoever reads the lines through a pipe or a file sees each as it happens, not when the
    // program ends: a prompt that waits for its person has said so.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    makeRefusedWritesErrors();
    if (!forbidCoreDumps(&error)) {
        std::cerr << program.name << ": " << error << "\n";
        *status = program.errorStatus;
        return false;
    }
    if (InformationRequest request = informationRequest(arguments); request != InformationRequest::None) {
        answerInformationRequest(request, program.name, program.usage, std::cout);
        *status = EXIT_SUCCESS;
        return false;
    }
    return true;
}
