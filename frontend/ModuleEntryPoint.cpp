// The module's one entry point: the dialog library's loader (loadScreenFrontEnd) finds it with dlsym.
#include "CodesWindow.h"
#include "OnScreenDialog.h"
#include "PersonWindows.h"
#include "WindowPicture.h"

#include <ScreenFrontEnd.h>

extern "C" __attribute__((visibility("default"))) const ScreenFrontEnd* PrintDialogScreenFrontEnd()
{
    static const ScreenFrontEnd frontEnd = { snapshotWindow, runDialogOnScreen, openClickOnScreen, closeClickOnScreen, showMessage, chooseOne,
        askYesNo, askPassword, askCodes };
    return &frontEnd;
}
