// Stand-in only: what tests need of the Memory Manager beyond its calls.
#pragma once

#include <CoreFoundation/MacTypes.h>

namespace StandIn {

// Handles made by NewHandle and not yet disposed of, so that a test can see a leaked handle.
PLATFORM_EXPORT long liveHandleCount();

}
