// The module's one entry point: the dialog library's loader (loadScreenModule) finds it with dlsym.
#include "screen/CodesWindow.h"
#include "screen/OnScreenDialog.h"
#include "screen/PasswordWindow.h"
#include "screen/PersonWindows.h"
#include "screen/WindowPicture.h"

#include "dialog/ScreenModule.h"

extern "C" __attribute__((visibility("default"))) const ScreenModule* ScreenModuleEntry()
{
    static const ScreenModule frontEnd = { snapshotWindow, runDialogOnScreen, openClickOnScreen, closeClickOnScreen, showMessage, chooseOne,
        askYesNo, askPassword, askCodes };
    return &frontEnd;
}
