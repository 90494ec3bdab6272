#include "PrintDialogCommand.h"
#include "ProgramInformation.h"

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
    return runPrintDialog(options, std::cout, std::cerr);
}
