// A whole scripted Print dialog in one process: load the plug-in, show the pane, answer the
// prompt, print and tear down. See bench/README.md.
#include "printdialog/PrintDialogCommand.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

void BM_ScriptedDialog(benchmark::State& state)
{
    PrintDialogOptions options;
    std::string error;
    const std::string examples = EXAMPLES_DIR;
    parsePrintDialogArguments({ "--ppd", examples + "/Movra-RK7700.ppd", "--script", examples + "/scripts/prompt-for-codes.txt",
                                  "--plugin", ACCOUNTING_BUNDLE_DIR },
        &options, &error);
    options.primaryPlugInPath = PRIMARY_PDE_BUNDLE_DIR;
    // The pane's diagnostic lines go to the standard error stream; keep them off the terminal.
    if (!freopen("/dev/null", "w", stderr))
        state.SkipWithError("cannot silence the standard error stream");
    for (auto _ : state) {
        std::ostringstream transcript;
        std::ostringstream errors;
        int status = runPrintDialog(options, transcript, errors);
        if (status != kExitPrinted)
            state.SkipWithError(("the dialog did not print: " + errors.str()).c_str());
    }
}

}

BENCHMARK(BM_ScriptedDialog)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
