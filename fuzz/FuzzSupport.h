// Shared by the fuzz targets: the product reads these inputs from files, so each input is
// written to a file in a private folder first (in /dev/shm when it exists, so that millions of
// runs do not wear a disk), and the folder is removed when the fuzzer exits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fuzz {

inline const std::string& scratchFolder()
{
    static const std::string folder = [] {
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
        std::string pattern = base + "/accounting-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        // Static storage, so the lambda captures nothing and atexit can take it.
        static std::string created;
        created = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(created, ignored);
        });
        return pattern;
    }();
    return folder;
}

// Writes the bytes to name inside the scratch folder (creating its parent folders) and gives
// the file's path.
inline std::string writeInput(const std::string& name, const uint8_t* data, size_t size)
{
    std::filesystem::path path = std::filesystem::path(scratchFolder()) / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out)
        std::abort();
    return path.string();
}

}
