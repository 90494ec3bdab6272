#include "LiveObjects.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Graphics/MacMemoryStandIn.h>
#include <HIToolbox/HIToolboxStandIn.h>

long PlatformLiveObjectCount()
{
    return _CFGetTotalLiveObjectCount() + _HIGetLiveObjectCount(nullptr) + _MemGetLiveHandleCount();
}

std::string PlatformLiveObjectSummary()
{
    std::string summary;
    for (CFTypeID type = 1;; ++type) {
        CFIndex live = _CFGetLiveObjectCount(type);
        CFStringRef name = CFCopyTypeIDDescription(type);
        if (!name)
            break;
        char text[64] = "?";
        CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
        CFRelease(name);
        if (live)
            summary += std::string(text) + ": " + std::to_string(live) + "\n";
    }
    for (const char* kind : { "window", "control", "menu", "event", "handler", "alert" }) {
        if (long live = _HIGetLiveObjectCount(kind))
            summary += std::string(kind) + ": " + std::to_string(live) + "\n";
    }
    if (long live = _MemGetLiveHandleCount())
        summary += "handle: " + std::to_string(live) + "\n";
    return summary;
}
