// Print-settings files of many keys read into a ticket, and a ticket's items set and found by
// key: both should grow with the number of keys, not with its square. See bench/README.md.
#include <PrintCore/PMTicketStandIn.h>
#include <PrintCore/PrintCore.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

// A settings file of `keys` entries, written once per size into the temporary folder.
std::string settingsFile(int64_t keys)
{
    std::string path = (std::filesystem::temp_directory_path() / ("accounting-settings-" + std::to_string(keys) + ".plist")).string();
    if (std::filesystem::exists(path))
        return path;
    std::ofstream out(path);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n";
    for (int64_t i = 0; i < keys; ++i)
        out << "<key>com.example.k" << i << "</key><dict><key>value</key><integer>" << i << "</integer></dict>\n";
    out << "</dict></plist>\n";
    return path;
}

void BM_ReadSettingsFile(benchmark::State& state)
{
    std::string path = settingsFile(state.range(0));
    for (auto _ : state) {
        PMTicketRef ticket = nullptr;
        PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &ticket);
        std::string error;
        if (StandIn::readSettingsFile(ticket, path, &error) != noErr)
            state.SkipWithError(error.c_str());
        PMRelease(ticket);
    }
    state.SetComplexityN(state.range(0));
}

void BM_SetAndGetTicketItems(benchmark::State& state)
{
    std::vector<CFStringRef> keys;
    for (int64_t i = 0; i < state.range(0); ++i)
        keys.push_back(CFStringCreateWithCString(kCFAllocatorDefault, ("com.example.k" + std::to_string(i)).c_str(), kCFStringEncodingUTF8));
    for (auto _ : state) {
        PMTicketRef ticket = nullptr;
        PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &ticket);
        SInt32 value = 0;
        for (CFStringRef key : keys)
            PMTicketSetSInt32(ticket, CFSTR("com.pmvendor.printingmanager"), key, 1, false);
        for (CFStringRef key : keys)
            PMTicketGetSInt32(ticket, 0, 0, key, &value);
        benchmark::DoNotOptimize(value);
        PMRelease(ticket);
    }
    for (CFStringRef key : keys)
        CFRelease(key);
    state.SetComplexityN(state.range(0));
}

}

BENCHMARK(BM_ReadSettingsFile)->Arg(2'500)->Arg(10'000)->Arg(40'000)->Arg(160'000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_SetAndGetTicketItems)->Arg(2'500)->Arg(10'000)->Arg(40'000)->Arg(160'000)->Unit(benchmark::kMillisecond)->Complexity();

BENCHMARK_MAIN();
