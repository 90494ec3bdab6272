#include "Agent.h"
#include "DesktopErrors.h"
#include "ProgramTexts.h"
#include "ProgramInformation.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    const ProgramIdentity program { "accounting-agent", kAgentUsage, kAgentError };
    // Where the program was started from: after an update the file there is the new one.
    char self[PATH_MAX] = {};
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    self[length > 0 ? length : 0] = '\0';
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
    if (status == kAgentUpdated) {
        std::cout.flush();
        execv(self, argv);
        errors.stream() << program.name << ": cannot start again: " << strerror(errno) << "\n";
        status = kAgentError;
    }
    if (status == kAgentError)
        errors.endedWithError(programText("Agent Stopped"));
    return status;
}
