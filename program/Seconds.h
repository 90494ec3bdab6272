// A span of time as the programs' messages give it, in the unit --timeout takes.
#pragma once

#include "program/ProgramsExport.h"

#include <chrono>
#include <string>

// "30 s", "0.5 s".
PROGRAMS_EXPORT std::string inSeconds(std::chrono::milliseconds span);
