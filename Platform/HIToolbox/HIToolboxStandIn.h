// Stand-in only: counts of the toolbox's live objects, so that tests can check that a dialog,
// opened, used and torn down, leaves nothing behind.
#pragma once

#include <HIToolbox/MacWindows.h>

#include <string>

namespace StandIn {

// The name of the interface definition the window was made from; empty for other windows.
PLATFORM_EXPORT std::string windowDefinitionName(WindowRef window);

// kind: "window", "control", "menu", "event", "handler" or "alert"; null for all of them together.
PLATFORM_EXPORT long liveToolboxObjectCount(const char* kind);

}
