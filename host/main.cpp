#include "PrintDialogCommand.h"
#include "ProcessGuards.h"

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
    PrintDialogOptions options;
    if (!parsePrintDialogArguments(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::cerr << "printdialog: " << error << "\n"
                  << kPrintDialogUsage << "\n";
        return kExitError;
    }
    if (options.showHelp || options.showVersion) {
        std::cout << (options.showHelp ? kPrintDialogUsage : "printdialog " ACCOUNTING_VERSION) << "\n";
        return EXIT_SUCCESS;
    }
    return runPrintDialog(options, std::cout, std::cerr);
}
