#include "ScreenFrontEnd.h"

#include <climits>
#include <dlfcn.h>
#include <unistd.h>

namespace {

std::string executableFolder()
{
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    std::string folder(path, length);
    return folder.substr(0, folder.rfind('/'));
}

}

const ScreenFrontEnd* loadScreenFrontEnd(std::string* error)
{
    // Loaded once and kept: the Qt objects it makes live until the process ends.
    static const ScreenFrontEnd* frontEnd = nullptr;
    if (frontEnd)
        return frontEnd;
    std::string path = executableFolder() + "/libPrintDialogScreen.so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        *error = "the on-screen front end cannot be loaded: " + std::string(dlerror());
        return nullptr;
    }
    auto entryPoint = reinterpret_cast<ScreenFrontEndEntryPoint>(dlsym(module, kScreenFrontEndEntryPoint));
    frontEnd = entryPoint ? entryPoint() : nullptr;
    if (!frontEnd)
        *error = path + ": not the on-screen front end";
    return frontEnd;
}
