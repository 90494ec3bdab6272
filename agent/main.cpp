#include "agent/Agent.h"
#include "agent/SetupCheck.h"
#include "dialog/DesktopErrors.h"
#include "program/ProgramFolder.h"
#include "program/ProgramTexts.h"
#include "program/ProgramInformation.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    const ProgramIdentity program { "accounting-agent", kAgentUsage, kAgentError };
    // Where the program was started from, before an update can replace it.
    std::string self = programPath();
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
    if (options.check)
        return checkSetup(options, std::cout);
    DesktopErrors errors(program.name);
    int status = runAgent(options, std::cout, errors.stream());
    if (status == kAgentUpdated) {
        std::cout.flush();
        execv(self.c_str(), argv);
        errors.stream() << program.name << ": cannot start again: " << strerror(errno) << "\n";
        status = kAgentError;
    }
    if (status == kAgentError)
        errors.endedWithError(programText("Agent Stopped"));
    return status;
}
