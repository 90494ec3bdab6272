// The CUPS module's entry point, the one name the dialog library's loader looks up in it.
#pragma once

#include "queues/CupsModule.h"
#include "program/ProgramsExport.h"

extern "C" {
PROGRAMS_EXPORT const CupsModule* CupsModuleEntry();
}
