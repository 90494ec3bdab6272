#include <CoreFoundation/CFPlugIn.h>

#include <CoreFoundation/CFBundlePrivate.h>
#include <CoreFoundation/CFStringPrivate.h>

#include <map>
#include <string>
#include <vector>

namespace {

std::map<std::string, CFIndex>& instanceCounts()
{
    static std::map<std::string, CFIndex> counts;
    return counts;
}

std::string keyOf(CFUUIDRef uuid)
{
    CFStringRef text = CFUUIDCreateString(kCFAllocatorDefault, uuid);
    std::string key = StandIn::toUTF8(text);
    if (text)
        CFRelease(text);
    return key;
}

CFUUIDRef uuidFromValue(const void* value)
{
    if (CFGetTypeID(value) != CFStringGetTypeID())
        return nullptr;
    return CFUUIDCreateFromString(kCFAllocatorDefault, static_cast<CFStringRef>(value));
}

// Info.plist keys are the UUIDs' text in whichever case their author wrote.
CFTypeRef valueForUUID(CFDictionaryRef dictionary, CFUUIDRef uuid)
{
    CFIndex count = CFDictionaryGetCount(dictionary);
    std::vector<const void*> keys(count), values(count);
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    for (CFIndex i = 0; i < count; ++i) {
        CFUUIDRef key = uuidFromValue(keys[i]);
        bool match = key && CFEqual(key, uuid);
        if (key)
            CFRelease(key);
        if (match)
            return values[i];
    }
    return nullptr;
}

CFDictionaryRef infoDictionary(CFBundleRef bundle, CFStringRef key)
{
    CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, key);
    return CFGetTypeID(value) == CFDictionaryGetTypeID() ? static_cast<CFDictionaryRef>(value) : nullptr;
}

}

CFPlugInRef CFPlugInCreate(CFAllocatorRef allocator, CFURLRef plugInURL)
{
    return CFBundleCreate(allocator, plugInURL);
}

CFArrayRef CFPlugInFindFactoriesForPlugInTypeInPlugIn(CFUUIDRef typeUUID, CFPlugInRef plugIn)
{
    CFMutableArrayRef factories = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    CFDictionaryRef types = infoDictionary(plugIn, CFSTR("CFPlugInTypes"));
    CFTypeRef listed = types && CFGetTypeID(typeUUID) == CFUUIDGetTypeID() ? valueForUUID(types, typeUUID) : nullptr;
    if (CFGetTypeID(listed) == CFArrayGetTypeID()) {
        auto list = static_cast<CFArrayRef>(listed);
        for (CFIndex i = 0; i < CFArrayGetCount(list); ++i) {
            if (CFUUIDRef factory = uuidFromValue(CFArrayGetValueAtIndex(list, i))) {
                CFArrayAppendValue(factories, factory);
                CFRelease(factory);
            }
        }
    }
    return factories;
}

void* CFPlugInInstanceCreate(CFAllocatorRef allocator, CFUUIDRef factoryUUID, CFUUIDRef typeUUID)
{
    if (CFGetTypeID(factoryUUID) != CFUUIDGetTypeID())
        return nullptr;
    CFStringRef factoryText = CFUUIDCreateString(kCFAllocatorDefault, factoryUUID);
    CFBundleRef plugIn = _CFBundleFindWithFactory(factoryText);
    CFRelease(factoryText);
    if (!plugIn)
        return nullptr;
    CFTypeRef functionName = valueForUUID(infoDictionary(plugIn, CFSTR("CFPlugInFactories")), factoryUUID);
    if (CFGetTypeID(functionName) != CFStringGetTypeID())
        return nullptr;
    auto factory = reinterpret_cast<CFPlugInFactoryFunction>(
        CFBundleGetFunctionPointerForName(plugIn, static_cast<CFStringRef>(functionName)));
    return factory ? factory(allocator, typeUUID) : nullptr;
}

void CFPlugInAddInstanceForFactory(CFUUIDRef factoryID)
{
    if (CFGetTypeID(factoryID) == CFUUIDGetTypeID())
        ++instanceCounts()[keyOf(factoryID)];
}

void CFPlugInRemoveInstanceForFactory(CFUUIDRef factoryID)
{
    if (CFGetTypeID(factoryID) != CFUUIDGetTypeID())
        return;
    auto found = instanceCounts().find(keyOf(factoryID));
    if (found != instanceCounts().end() && --found->second <= 0)
        instanceCounts().erase(found);
}

CFIndex StandIn::plugInInstanceCount(CFUUIDRef factoryID)
{
    if (!factoryID) {
        CFIndex total = 0;
        for (const auto& entry : instanceCounts())
            total += entry.second;
        return total;
    }
    auto found = instanceCounts().find(keyOf(factoryID));
    return found == instanceCounts().end() ? 0 : found->second;
}
