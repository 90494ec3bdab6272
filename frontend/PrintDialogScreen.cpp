// The module's one entry point: printdialog finds it with dlsym.
#include "ScreenApplication.h"
#include "ScreenSession.h"

#include <ScreenFrontEnd.h>

extern "C" __attribute__((visibility("default"))) const ScreenFrontEnd* PrintDialogScreenFrontEnd()
{
    static const ScreenFrontEnd frontEnd = { snapshotWindow, runDialogOnScreen };
    return &frontEnd;
}
