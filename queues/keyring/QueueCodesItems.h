// The keyring module's entry point, the one name the dialog library's loader looks up in it.
#pragma once

#include <DialogExport.h>
#include <KeyringModule.h>

extern "C" {
DIALOG_EXPORT const KeyringModule* PrintDialogKeyringModule();
}
