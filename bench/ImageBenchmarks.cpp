// The folder walk against find(1) over one generated tree, and the pane's picture drawn from
// the cache against its first, decoding draw. See bench/README.md.
#include "Source/FSUtilities.h"
#include "Source/ImageImportManager.h"
#include "Accounting/PictureDrawing.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFolders = 5000;
constexpr int kFiles = 100000;
constexpr int kDeepestLevel = 6;

// 100,000 small files in 5,000 folders, nested up to 6 deep; made once and reused by later runs.
const std::string& benchmarkTree()
{
    static const std::string root = [] {
        std::string path = (std::filesystem::temp_directory_path() / "accounting-walk-tree").string();
        if (std::filesystem::exists(path + "/.complete"))
            return path;
        std::filesystem::remove_all(path);
        std::mt19937 random(20261208);
        std::vector<std::pair<std::string, int>> folders = { { path, 0 } };
        std::filesystem::create_directories(path);
        while (static_cast<int>(folders.size()) < kFolders) {
            const auto& parent = folders[random() % folders.size()];
            if (parent.second >= kDeepestLevel)
                continue;
            std::string folder = parent.first + "/folder" + std::to_string(folders.size());
            std::filesystem::create_directory(folder);
            folders.emplace_back(folder, parent.second + 1);
        }
        for (int file = 0; file < kFiles; ++file)
            std::ofstream(folders[file % folders.size()].first + "/image" + std::to_string(file) + ".gif") << "GIF89a";
        std::ofstream(path + "/.complete");
        return path;
    }();
    return root;
}

FSRef refFor(const std::string& path)
{
    FSRef ref = {};
    FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr);
    return ref;
}

void BM_WalkWithTheImageCachesFilter(benchmark::State& state)
{
    FSRef root = refFor(benchmarkTree());
    for (auto _ : state) {
        auto cache = std::make_unique<ImageImportManager>(root);
        benchmark::DoNotOptimize(ImageImportManager::componentForFilename(CFSTR("nothing")));
        // Emptying the cache is not part of the walk.
        state.PauseTiming();
        cache.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * (kFiles + kFolders));
}

Boolean countEntry(Boolean, ItemCount, const FSCatalogInfo*, const FSRef*, const FSSpec*, const HFSUniStr255*, void* count)
{
    ++*static_cast<long*>(count);
    return false;
}

void BM_WalkCountingEntries(benchmark::State& state)
{
    FSRef root = refFor(benchmarkTree());
    for (auto _ : state) {
        long count = 0;
        FSIterateContainer(&root, 0, kFSCatInfoNone, false, false, countEntry, &count);
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * (kFiles + kFolders));
}

// The walk as the image cache asks for it, with a filter that only counts: the walk's own share.
void BM_WalkWithNamesAndSpecsCountingEntries(benchmark::State& state)
{
    FSRef root = refFor(benchmarkTree());
    for (auto _ : state) {
        long count = 0;
        FSIterateContainer(&root, 0, kFSCatInfoNodeFlags, true, true, countEntry, &count);
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * (kFiles + kFolders));
}

// find itself, started without a shell; its CPU time (user and system) is the counter cpu_ms,
// beside the in-process benchmarks' CPU column, which a shared machine disturbs less than the
// wall time.
void BM_FindOverTheSameTree(benchmark::State& state)
{
    const std::string& tree = benchmarkTree();
    char* const argv[] = { const_cast<char*>("find"), const_cast<char*>(tree.c_str()), nullptr };
    posix_spawn_file_actions_t toNull;
    posix_spawn_file_actions_init(&toNull);
    posix_spawn_file_actions_addopen(&toNull, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    double cpuSeconds = 0;
    for (auto _ : state) {
        pid_t child = 0;
        int status = 0;
        struct rusage usage = {};
        if (posix_spawnp(&child, "find", &toNull, nullptr, argv, environ) != 0 || wait4(child, &status, 0, &usage) != child
            || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("find failed");
            break;
        }
        cpuSeconds += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    posix_spawn_file_actions_destroy(&toNull);
    state.counters["cpu_ms"] = benchmark::Counter(cpuSeconds * 1e3, benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations() * (kFiles + kFolders));
}

// The pane's picture in a window of its own, drawn from the bundle's images.
struct PictureWindow {
    static constexpr SInt16 kSide = 100, kPictureAt = 10, kPictureSide = 64;

    PictureWindow()
    {
        const Rect bounds = { 0, 0, kSide, kSide };
        CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window);
        const Rect iconBounds = { kPictureAt, kPictureAt, kPictureAt + kPictureSide, kPictureAt + kPictureSide };
        CreateUserPaneControl(window, &iconBounds, 0, &icon);
    }
    ~PictureWindow() { DisposeWindow(window); }

    WindowRef window { nullptr };
    ControlRef icon { nullptr };
};

FSRef bundleResources()
{
    return refFor(std::string(ACCOUNTING_BUNDLE_DIR) + "/Contents/Resources");
}

void BM_PictureFirstDraw(benchmark::State& state)
{
    PictureWindow picture;
    FSRef resources = bundleResources();
    for (auto _ : state) {
        state.PauseTiming();
        auto cache = std::make_unique<ImageImportManager>(resources);
        state.ResumeTiming();
        DrawImage(kAccountingOnImage, picture.icon, false);
        state.PauseTiming();
        cache.reset();
        state.ResumeTiming();
    }
}

void BM_PictureDrawFromTheCache(benchmark::State& state)
{
    PictureWindow picture;
    ImageImportManager cache(bundleResources());
    DrawImage(kAccountingOnImage, picture.icon, false);
    for (auto _ : state)
        DrawImage(kAccountingOnImage, picture.icon, false);
}

// The anchors for the draw from the cache: the picture's pixels copied by one memcpy, from one
// buffer to another; and copied row by row into the place of the picture in a window's pixels,
// as any draw there must at least, the window being wider than the picture.
void BM_PicturesPixelsCopiedByMemcpy(benchmark::State& state)
{
    constexpr size_t kPixels = size_t(PictureWindow::kPictureSide) * PictureWindow::kPictureSide;
    std::vector<UInt32> source(kPixels, 0x00C08040), destination(kPixels);
    for (auto _ : state) {
        memcpy(destination.data(), source.data(), kPixels * sizeof(UInt32));
        benchmark::ClobberMemory();
    }
}

void BM_PicturesRowsCopiedByMemcpyIntoAWindow(benchmark::State& state)
{
    constexpr size_t kSide = PictureWindow::kSide, kAt = PictureWindow::kPictureAt, kPictureSide = PictureWindow::kPictureSide;
    std::vector<UInt32> source(kPictureSide * kPictureSide, 0x00C08040), window(kSide * kSide);
    for (auto _ : state) {
        for (size_t y = 0; y < kPictureSide; ++y)
            memcpy(window.data() + (kAt + y) * kSide + kAt, source.data() + y * kPictureSide, kPictureSide * sizeof(UInt32));
        benchmark::ClobberMemory();
    }
}

}

BENCHMARK(BM_WalkWithTheImageCachesFilter)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WalkCountingEntries)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WalkWithNamesAndSpecsCountingEntries)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FindOverTheSameTree)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PictureFirstDraw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PictureDrawFromTheCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PicturesPixelsCopiedByMemcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PicturesRowsCopiedByMemcpyIntoAWindow)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
