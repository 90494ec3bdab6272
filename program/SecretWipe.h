// Wiping a secret (a code, a password, a PIN) from memory once it is no longer needed, so that
// it lingers neither in a buffer that is freed or reused nor in a core file. A plain fill of
// memory that is not read again is a dead store, which the compiler may drop; these are not.
#pragma once

#include "program/ProgramsExport.h"

#include <span>
#include <string>

// Zeroes every byte of the buffer.
PROGRAMS_EXPORT void wipeSecret(std::span<char> bytes);
// Zeroes the text's bytes and empties it (its buffer stays, zeroed).
PROGRAMS_EXPORT void wipeSecret(std::string& secret);
