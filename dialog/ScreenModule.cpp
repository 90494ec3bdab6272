#include "dialog/ScreenModule.h"

#include "dialog/PrintDialog.h"
#include "program/ProgramFolder.h"

#include <cstdlib>

bool displayAvailable()
{
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

const ScreenModule* loadScreenModule(std::string* error)
{
    // Loaded once and kept: the Qt objects it makes live until the process ends.
    static const ScreenModule* frontEnd = nullptr;
    if (!frontEnd)
        frontEnd = loadProductModule<ScreenModule>(ACCOUNTING_SCREEN_MODULE, kScreenModuleEntryPoint, "the screen module", error);
    return frontEnd;
}

bool snapshotFrontWindow(const PrintDialog& dialog, WindowRef prompt, const std::string& path, std::string* error)
{
    if (!dialog.isOpen()) {
        *error = "there is no dialog left to picture";
        return false;
    }
    const ScreenModule* frontEnd = loadScreenModule(error);
    return frontEnd && frontEnd->snapshot(prompt ? prompt : dialog.window(), path, error);
}
