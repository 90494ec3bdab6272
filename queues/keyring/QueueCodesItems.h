// The keyring module's entry point, the one name the dialog library's loader looks up in it.
#pragma once

#include "program/ProgramsExport.h"
#include "queues/KeyringModule.h"

extern "C" {
PROGRAMS_EXPORT const KeyringModule* KeyringModuleEntry();
}
