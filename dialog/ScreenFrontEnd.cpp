#include "ScreenFrontEnd.h"

#include "PrintDialog.h"
#include "ProgramFolder.h"

#include <cstdlib>
#include <dlfcn.h>

bool displayAvailable()
{
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

const ScreenFrontEnd* loadScreenFrontEnd(std::string* error)
{
    // Loaded once and kept: the Qt objects it makes live until the process ends.
    static const ScreenFrontEnd* frontEnd = nullptr;
    if (frontEnd)
        return frontEnd;
    std::string path = productLibraryFolder() + "/" ACCOUNTING_SCREEN_MODULE;
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

bool snapshotFrontWindow(const PrintDialog& dialog, WindowRef prompt, const std::string& path, std::string* error)
{
    if (!dialog.isOpen()) {
        *error = "there is no dialog left to picture";
        return false;
    }
    const ScreenFrontEnd* frontEnd = loadScreenFrontEnd(error);
    return frontEnd && frontEnd->snapshot(prompt ? prompt : dialog.window(), path, error);
}
