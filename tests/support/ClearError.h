// What every hostile input must come to: exit status 2, one line of printdialog's on standard
// error that says what went wrong, and all of it at once and in little memory, not after a
// stall or a swollen heap. The work is bounded by the processor time it took, which a machine
// busy with other builds does not stretch; a stall, which takes none, by the time it took on
// the clock, with room for such a machine.
#pragma once

#include "tests/support/ProgramRun.h"

#include <gtest/gtest.h>

#include <string>

constexpr std::chrono::milliseconds kClearErrorWork { 1000 };
constexpr std::chrono::milliseconds kClearErrorStall { 10000 };
constexpr long kClearErrorPeakKiB = 64 * 1024;

// The run failed with exit status 2 and exactly one "printdialog: " line, holding mentions;
// unless the build is sanitized, within kClearErrorWork, kClearErrorStall and kClearErrorPeakKiB.
::testing::AssertionResult endsInOneClearError(const ProgramRun& run, const std::string& mentions);
