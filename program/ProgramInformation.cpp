#include "program/ProgramInformation.h"

#include "program/ProcessGuards.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
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

namespace {

// Without a session bus, libdbus (under Qt) and GDBus (under libsecret) each start one of their
// own (dbus-launch --autolaunch), and leave it behind when the program ends. An address that no
// library can use tells them there is none; the bus that a systemd session keeps in the runtime
// folder, which they find without the variable, stays theirs to use.
void settleTheSessionBus()
{
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (getenv("DBUS_SESSION_BUS_ADDRESS") || (runtime && access((std::string(runtime) + "/bus").c_str(), F_OK) == 0))
        return;
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

}

bool startProgram(const ProgramIdentity& program, const std::vector<std::string>& arguments, int* status)
{
    std::string error;
    // Whoever reads the lines through a pipe or a file sees each as it happens, not when the
    // program ends: a prompt that waits for its person has said so.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    settleTheSessionBus();
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
