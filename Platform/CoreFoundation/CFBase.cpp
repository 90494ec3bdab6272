#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFStandIn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

struct ClassRegistry {
    std::vector<std::string> names { "" };
    std::vector<CFIndex> liveCounts { 0 };
};

ClassRegistry& registry()
{
    static ClassRegistry instance;
    return instance;
}

}

CFTypeID _CFRuntimeRegisterClass(const char* name)
{
    static std::mutex lock;
    std::lock_guard guard(lock);
    auto& classes = registry();
    classes.names.emplace_back(name);
    classes.liveCounts.push_back(0);
    return classes.names.size() - 1;
}

__CFRuntimeBase::__CFRuntimeBase(CFTypeID typeID)
    : m_typeID(typeID)
{
    ++registry().liveCounts[typeID];
}

__CFRuntimeBase::~__CFRuntimeBase()
{
    if (!m_immortal)
        --registry().liveCounts[m_typeID];
}

void __CFRuntimeBase::makeImmortal()
{
    if (m_immortal)
        return;
    m_immortal = true;
    --registry().liveCounts[m_typeID];
}

std::string __CFRuntimeBase::describe() const
{
    char text[96];
    snprintf(text, sizeof text, "<%s %p>", registry().names[m_typeID].c_str(), static_cast<const void*>(this));
    return text;
}

CFTypeRef CFRetain(CFTypeRef cf)
{
    if (!cf)
        return nullptr;
    auto* object = const_cast<__CFRuntimeBase*>(_CFObject(cf));
    if (!object->m_immortal)
        ++object->m_retainCount;
    return cf;
}

void CFRelease(CFTypeRef cf)
{
    if (!cf)
        return;
    auto* object = const_cast<__CFRuntimeBase*>(_CFObject(cf));
    if (object->m_immortal)
        return;
    if (object->m_retainCount <= 0) {
        // An over-release is a bug in the caller; stop here rather than free twice.
        fprintf(stderr, "CFRelease: over-release of %s\n", object->describe().c_str());
        abort();
    }
    if (--object->m_retainCount == 0)
        delete object;
}

CFIndex CFGetRetainCount(CFTypeRef cf)
{
    return cf ? _CFObject(cf)->retainCount() : 0;
}

CFTypeID CFGetTypeID(CFTypeRef cf)
{
    return cf ? _CFObject(cf)->typeID() : 0;
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2)
{
    if (cf1 == cf2)
        return true;
    if (!cf1 || !cf2)
        return false;
    auto* a = _CFObject(cf1);
    auto* b = _CFObject(cf2);
    return a->typeID() == b->typeID() && a->equals(*b);
}

CFHashCode CFHash(CFTypeRef cf)
{
    return cf ? _CFObject(cf)->hash() : 0;
}

CFStringRef CFCopyDescription(CFTypeRef cf)
{
    if (!cf)
        return nullptr;
    return CFStringCreateWithCString(kCFAllocatorDefault, _CFObject(cf)->describe().c_str(), kCFStringEncodingUTF8);
}

CFStringRef CFCopyTypeIDDescription(CFTypeID typeID)
{
    auto& classes = registry();
    if (typeID == 0 || typeID >= classes.names.size())
        return nullptr;
    return CFStringCreateWithCString(kCFAllocatorDefault, classes.names[typeID].c_str(), kCFStringEncodingUTF8);
}

CFIndex StandIn::liveObjectCount(CFTypeID typeID)
{
    auto& classes = registry();
    return typeID < classes.liveCounts.size() ? classes.liveCounts[typeID] : 0;
}

CFIndex StandIn::totalLiveObjectCount()
{
    CFIndex total = 0;
    for (CFIndex count : registry().liveCounts)
        total += count;
    return total;
}
