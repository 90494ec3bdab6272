// The mark on what the programs' library (libPrograms.so: the programs' basics, the queues' model
// and the scripted Print dialog) and the CUPS module offer the programs that link them;
// everything else stays inside.
#pragma once

#define PROGRAMS_EXPORT __attribute__((visibility("default")))
