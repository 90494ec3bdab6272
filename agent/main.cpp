#include "Agent.h"
#include "ProcessGuards.h"
#include "ProgramInformation.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    std::string error;
    makeRefusedWritesErrors();
    if (!forbidCoreDumps(&error)) {
        std::cerr << "accounting-agent: " << error << "\n";
        return kAgentError;
    }
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (InformationRequest request = informationRequest(arguments); request != InformationRequest::None) {
        answerInformationRequest(request, "accounting-agent", kAgentUsage, std::cout);
        return EXIT_SUCCESS;
    }
    AgentOptions options;
    if (!parseAgentArguments(arguments, &options, &error)) {
        std::cerr << "accounting-agent: " << error << "\n"
                  << kAgentUsage << "\n";
        return kAgentError;
    }
    return runAgent(options, std::cout, std::cerr);
}
