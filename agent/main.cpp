#include "Agent.h"
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
    return runAgent(options, std::cout, std::cerr);
}
