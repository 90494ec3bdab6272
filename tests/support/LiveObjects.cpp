#include "tests/support/LiveObjects.h"

#include <cstdlib>

#include <CoreFoundation/CoreFoundation.h>
#include <Graphics/MacMemoryStandIn.h>
#include <HIToolbox/HIToolboxStandIn.h>
#include <CoreFoundation/CFStandIn.h>

long PlatformLiveObjectCount()
{
    return StandIn::totalLiveObjectCount() + StandIn::liveToolboxObjectCount(nullptr) + StandIn::liveHandleCount();
}

std::string PlatformLiveObjectSummary()
{
    std::string summary;
    for (CFTypeID type = 1;; ++type) {
        CFIndex live = StandIn::liveObjectCount(type);
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
        if (long live = StandIn::liveToolboxObjectCount(kind))
            summary += std::string(kind) + ": " + std::to_string(live) + "\n";
    }
    if (long live = StandIn::liveHandleCount())
        summary += "handle: " + std::to_string(live) + "\n";
    return summary;
}

void BalancedDialogTest::SetUp()
{
    BalancedTest::SetUp();
    setenv("LANGUAGE", "en", 1);
}

void BalancedDialogTest::TearDown()
{
    EXPECT_EQ(StandIn::plugInInstanceCount(nullptr), 0) << "every factory instance is released";
    BalancedTest::TearDown();
}
