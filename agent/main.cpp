#include "Agent.h"
#include "DesktopErrors.h"
#include "ProgramTexts.h"
#include "ProgramInformation.h"

#include <iostream>

int main(int argc, char** argv)
{
    const ProgramIdentity program { "accounting-agent", kAgentUsage, kAgentError };
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (int status; !startProgram(program, arguments, &status))
        return status;
    AgentOptions options;
    std::string error;
    if (!parseAgentArguments(arguments, &options, &error)) {
        std::cerr << program.name << ": " << error << "\n"
                  << program.usage << "\n";
        return program.errorStatus;
    }
    DesktopErrors errors(program.name);
    int status = runAgent(options, std::cout, errors.stream());
    if (status == kAgentError)
        errors.endedWithError(programText("The printer accounting agent has stopped."));
    return status;
}
