// The pane's gate (is the printer a Movra?) against libcups's full parse of the same PPD files.
// PPD_CORPUS names a folder of real PPD files (plain or gzip); the sample is every 50th file
// by sorted path plus the largest one, less those libcups refuses, so both sides do full work.
#include <PrintCore/PrintCore.h>

#include <benchmark/benchmark.h>
#include <cups/ppd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct SampleFile {
    std::string path;
    uintmax_t size;
    PMTicketRef ticket;
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
// The reference: ppdOpenFile's manufacturer, as a caller of libcups would ask for it.
bool libcupsManufacturer(const std::string& path, std::string& manufacturer)
{
    ppd_file_t* ppd = ppdOpenFile(path.c_str());
    if (!ppd)
        return false;
    ppd_attr_t* attr = ppdFindAttr(ppd, "Manufacturer", nullptr);
    manufacturer = attr && attr->value ? attr->value : "";
    ppdClose(ppd);
    return true;
}
#pragma GCC diagnostic pop

// What the pane's Initialize does, from the printer-info ticket on.
bool gateManufacturer(PMTicketRef ticket, std::string& manufacturer)
{
    PPDContext ppd = nullptr;
    FSSpec tempFSSpec;
    if (ppdOpenCompiledPPDFromTicket(ticket, &ppd, &tempFSSpec) != noErr)
        return false;
    Mindex mIndex = 0;
    Str255 value = { 0 };
    bool found = ppdGetMainIndex(ppd, (ConstStr255Param) "\x0CManufacturer", &mIndex) == noErr
        && ppdGetInvocationString(ppd, mIndex, 0, value, sizeof value) == noErr;
    ppdCloseCompiledPPDFromTicket(ppd, &tempFSSpec);
    manufacturer.assign(reinterpret_cast<char*>(value + 1), value[0]);
    return found;
}

// Built once; empty with a reason when there is nothing to measure.
struct Sample {
    std::vector<SampleFile> files;
    const SampleFile* largest { nullptr };
    const SampleFile* median { nullptr };
    std::string problem;
};

const Sample& sample()
{
    static const Sample built = [] {
        Sample sample;
        const char* corpus = getenv("PPD_CORPUS");
        if (!corpus || !*corpus || !fs::is_directory(corpus)) {
            sample.problem = "set PPD_CORPUS to a folder of real PPD files";
            return sample;
        }
        std::vector<fs::path> paths;
        for (const auto& entry : fs::recursive_directory_iterator(corpus))
            if (entry.is_regular_file())
                paths.push_back(entry.path());
        std::sort(paths.begin(), paths.end());
        std::vector<fs::path> chosen;
        for (size_t i = 0; i < paths.size(); i += 50)
            chosen.push_back(paths[i]);
        auto largest = std::max_element(paths.begin(), paths.end(),
            [](const fs::path& a, const fs::path& b) { return fs::file_size(a) < fs::file_size(b); });
        if (largest != paths.end() && std::find(chosen.begin(), chosen.end(), *largest) == chosen.end())
            chosen.push_back(*largest);
        for (const fs::path& path : chosen) {
            std::string reference, ours;
            if (!libcupsManufacturer(path.string(), reference))
                continue;
            PMTicketRef ticket = nullptr;
            PMTicketCreate(kCFAllocatorDefault, kPMPrinterInfoTicket, &ticket);
            PMTicketSetCString(ticket, CFSTR("bench"), kPMPrinterInfoPPDPathKey, path.c_str(), false);
            if (!gateManufacturer(ticket, ours) || ours != reference.substr(0, 255)) {
                sample.problem = "the answers differ on " + path.string();
                return sample;
            }
            sample.files.push_back({ path.string(), fs::file_size(path), ticket });
        }
        if (sample.files.empty()) {
            sample.problem = "no PPD file that libcups accepts in PPD_CORPUS";
            return sample;
        }
        std::vector<const SampleFile*> bySize;
        for (const auto& file : sample.files)
            bySize.push_back(&file);
        std::sort(bySize.begin(), bySize.end(), [](auto* a, auto* b) { return a->size < b->size; });
        sample.median = bySize[bySize.size() / 2];
        sample.largest = bySize.back();
        return sample;
    }();
    return built;
}

enum class Which {
    All,
    Median,
    Largest,
};

std::vector<const SampleFile*> filesFor(benchmark::State& state, Which which)
{
    const Sample& files = sample();
    if (!files.problem.empty()) {
        state.SkipWithError(files.problem.c_str());
        return {};
    }
    if (which == Which::Median)
        return { files.median };
    if (which == Which::Largest)
        return { files.largest };
    std::vector<const SampleFile*> all;
    for (const auto& file : files.files)
        all.push_back(&file);
    return all;
}

void report(benchmark::State& state, const std::vector<const SampleFile*>& files)
{
    state.counters["files"] = static_cast<double>(files.size());
    state.counters["per_file"] = benchmark::Counter(static_cast<double>(files.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    if (files.size() == 1)
        state.SetLabel(files.front()->path + " (" + std::to_string(files.front()->size) + " bytes)");
}

void BM_Gate(benchmark::State& state, Which which)
{
    auto files = filesFor(state, which);
    std::string manufacturer;
    for (auto _ : state) {
        for (const SampleFile* file : files) {
            benchmark::DoNotOptimize(gateManufacturer(file->ticket, manufacturer));
            benchmark::DoNotOptimize(manufacturer.data());
        }
    }
    report(state, files);
}

void BM_Libcups(benchmark::State& state, Which which)
{
    auto files = filesFor(state, which);
    std::string manufacturer;
    for (auto _ : state) {
        for (const SampleFile* file : files) {
            benchmark::DoNotOptimize(libcupsManufacturer(file->path, manufacturer));
            benchmark::DoNotOptimize(manufacturer.data());
        }
    }
    report(state, files);
}

}

BENCHMARK_CAPTURE(BM_Gate, Sample, Which::All)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Libcups, Sample, Which::All)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Gate, MedianFile, Which::Median)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Libcups, MedianFile, Which::Median)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Gate, LargestFile, Which::Largest)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Libcups, LargestFile, Which::Largest)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
