// The module's one entry point: the dialog library's loader (loadScreenFrontEnd) finds it with dlsym.
#include "frontend/CodesWindow.h"
#include "frontend/OnScreenDialog.h"
#include "frontend/PersonWindows.h"
#include "frontend/WindowPicture.h"

#include "dialog/ScreenFrontEnd.h"

extern "C" __attribute__((visibility("default"))) const ScreenFrontEnd* PrintDialogScreenFrontEnd()
{
    static const ScreenFrontEnd frontEnd = { snapshotWindow, runDialogOnScreen, openClickOnScreen, closeClickOnScreen, showMessage, chooseOne,
        askYesNo, askPassword, askCodes };
    return &frontEnd;
}
