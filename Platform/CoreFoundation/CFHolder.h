// Inside the stand-in: an object that the holder owns (from a Create or Copy call) and releases
// when it goes, for the families' code that calls CoreFoundation and returns early.
#pragma once

#include <CoreFoundation/CFBase.h>

#include <memory>

namespace StandIn {

struct CFReleaser {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};

// T is the object behind the reference (__CFString for a CFStringRef), or void for any.
template<typename T = void>
using CFHolder = std::unique_ptr<const T, CFReleaser>;

}
