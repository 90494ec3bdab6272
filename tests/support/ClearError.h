// What every hostile input must come to: exit status 2, one line of printdialog's on standard
// error that says what went wrong, and all of it at once and in little memory, not after a
// stall or a swollen heap.
#pragma once

#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <string>

constexpr std::chrono::milliseconds kClearErrorTime { 1000 };
constexpr long kClearErrorPeakKiB = 64 * 1024;

// The run failed with exit status 2 and exactly one "printdialog: " line, holding mentions;
// unless the build is sanitized, within kClearErrorTime and kClearErrorPeakKiB.
::testing::AssertionResult endsInOneClearError(const ProgramRun& run, const std::string& mentions);
