// Writing every byte to a descriptor: a pipe takes a large write in parts, and a signal may cut a
// write short before any byte went.
#pragma once

#include "program/ProgramsExport.h"

#include <string_view>

// False when the reader has gone or the write failed (errno says why).
PROGRAMS_EXPORT bool writeAll(int descriptor, std::string_view bytes);
