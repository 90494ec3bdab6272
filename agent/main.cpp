#include "Agent.h"
#include "ProcessGuards.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::string error;
    makeRefusedWritesErrors();
    if (!forbidCoreDumps(&error)) {
        std::cerr << "accounting-agent: " << error << "\n";
        return kAgentError;
    }
    AgentOptions options;
    if (!parseAgentArguments(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::cerr << "accounting-agent: " << error << "\n"
                  << kAgentUsage << "\n";
        return kAgentError;
    }
    return runAgent(options, std::cout, std::cerr);
}
