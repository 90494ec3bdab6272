#include "PrintDialogCommand.h"

#include <iostream>

int main(int argc, char** argv)
{
    PrintDialogOptions options;
    std::string error;
    if (!parsePrintDialogArguments(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::cerr << "printdialog: " << error << "\n" << kPrintDialogUsage << "\n";
        return kExitError;
    }
    return runPrintDialog(options, std::cout, std::cerr);
}
