#include "PrintDialogCommand.h"
#include "ProcessGuards.h"
#include "ProgramInformation.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    std::string error;
    makeRefusedWritesErrors();
    if (!forbidCoreDumps(&error)) {
        std::cerr << "printdialog: " << error << "\n";
        return kExitError;
    }
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (InformationRequest request = informationRequest(arguments); request != InformationRequest::None) {
        answerInformationRequest(request, "printdialog", kPrintDialogUsage, std::cout);
        return EXIT_SUCCESS;
    }
    PrintDialogOptions options;
    if (!parsePrintDialogArguments(arguments, &options, &error)) {
        std::cerr << "printdialog: " << error << "\n"
                  << kPrintDialogUsage << "\n";
        return kExitError;
    }
    return runPrintDialog(options, std::cout, std::cerr);
}
