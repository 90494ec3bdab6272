#include "dialog/DesktopErrors.h"
#include "printdialog/PrintDialogCommand.h"
#include "program/ProgramInformation.h"

#include <iostream>

int main(int argc, char** argv)
{
    const ProgramIdentity program { "printdialog", kPrintDialogUsage, kExitError };
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (int status; !startProgram(program, arguments, &status))
        return status;
    PrintDialogOptions options;
    std::string error;
    if (!parsePrintDialogArguments(arguments, &options, &error)) {
        std::cerr << program.name << ": " << error << "\n"
                  << program.usage << "\n";
        return program.errorStatus;
    }
    // On screen the person reads the errors in windows (Conversation.h); from the desktop they
    // also go to the journal.
    DesktopErrors errors(program.name);
    return runPrintDialog(options, std::cout, errors.stream());
}
