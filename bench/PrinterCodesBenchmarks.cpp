// The codes a printer asks for, read from a PPD that someone made to hurt the programs: one that
// declares a passcode option after another, as many as fit under the size limit. What
// `printdialog --list-codes` and the agent do with such a PPD (read its codes, make the policy's
// lines) should grow with the number of codes, not with its square. See bench/README.md.
#include "queues/PrinterCodes.h"
#include "tests/support/TestPPDFiles.h"

#include <benchmark/benchmark.h>

#include <map>

namespace {

const std::string& hostilePPD(long codes)
{
    static std::map<long, std::string> made;
    auto [found, added] = made.try_emplace(codes);
    if (added)
        found->second = codeFloodPPD(codes);
    return found->second;
}

void BM_ReadPrinterCodes(benchmark::State& state)
{
    const std::string& ppd = hostilePPD(state.range(0));
    for (auto _ : state) {
        PrinterCodes codes = readPrinterCodes(ppd, { "de_DE", "de" });
        if (codes.codes.size() != static_cast<size_t>(state.range(0)))
            state.SkipWithError("not every code was read");
        benchmark::DoNotOptimize(codes);
    }
    state.SetComplexityN(state.range(0));
}

}

// Each size twice the one before, up to as many codes as fit under the size limit.
BENCHMARK(BM_ReadPrinterCodes)->Arg(12500)->Arg(25000)->Arg(50000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond)->Complexity();

BENCHMARK_MAIN();
