// Stand-in only: what the host, the screen module and the tests need of CoreFoundation beyond the
// platform's calls.
#pragma once

#include <CoreFoundation/CFPlugIn.h>
#include <CoreFoundation/CFString.h>

#include <string>
#include <string_view>

namespace StandIn {

// The number of live objects of one type, or of every type, so that tests can check that a
// whole dialog, opened, used and torn down, leaves nothing behind. Constant strings made by
// CFSTR live for the whole process and are not counted.
PLATFORM_EXPORT CFIndex liveObjectCount(CFTypeID typeID);
PLATFORM_EXPORT CFIndex totalLiveObjectCount();

// Plug-in instances registered for a factory, or for all factories when null.
PLATFORM_EXPORT CFIndex plugInInstanceCount(CFUUIDRef factoryID);

// The string's text as UTF-8 (empty for null or a non-string).
PLATFORM_EXPORT std::string toUTF8(CFStringRef string);
// A new string from UTF-8 text, or null when the text is not valid UTF-8.
PLATFORM_EXPORT CFStringRef createString(std::string_view text);

}
