// Stand-in only: counts of the toolbox's live objects, so that tests can check that a dialog,
// opened, used and torn down, leaves nothing behind.
#pragma once

// kind: "window", "control", "menu", "event", "handler" or "alert"; null for all of them together.
long _HIGetLiveObjectCount(const char* kind);
