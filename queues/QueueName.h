// CUPS's own rule for queue names: it refuses the others, they could not travel in a URL, and a
// name that keeps to it is one file name in a folder, never a path.
#pragma once

#include "program/ProgramsExport.h"

#include <cstddef>
#include <string>
#include <string_view>

constexpr size_t kMaxQueueNameBytes = 127;

// What keeps queue from being a CUPS queue's name, in words that never repeat it; empty when
// nothing does.
PROGRAMS_EXPORT std::string cupsQueueNameProblem(std::string_view queue);

// The one name that stands for every spelling of queue, since CUPS takes "Office" and "office"
// for the same queue: queue in lower case.
PROGRAMS_EXPORT std::string foldedQueueName(std::string_view queue);
