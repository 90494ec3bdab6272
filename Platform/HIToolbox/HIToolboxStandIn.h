// Stand-in only: counts of the toolbox's live objects, so that tests can check that a dialog,
// opened, used and torn down, leaves nothing behind; and what a host may ask of its own windows.
#pragma once

#include <HIToolbox/CarbonEvents.h>
#include <HIToolbox/MacWindows.h>

#include <string>

namespace StandIn {

// The name of the interface definition the window was made from; empty for other windows.
PLATFORM_EXPORT std::string windowDefinitionName(WindowRef window);

// kind: "window", "control", "menu", "event", "handler" or "alert"; null for all of them together.
PLATFORM_EXPORT long liveToolboxObjectCount(const char* kind);

// How many handlers on the target take events of that class and kind (0 for a stale target): a
// host tells by it whether a plug-in hooked one of the host's controls.
PLATFORM_EXPORT long countEventHandlers(EventTargetRef target, UInt32 eventClass, UInt32 kind);

}
