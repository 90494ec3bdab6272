// A bundle's Info.plist as CF objects: dictionaries, arrays, strings and numbers.
#include <CoreFoundation/CFBundlePrivate.h>

#include <Base/PropertyList.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFStringPrivate.h>

namespace {

using CFHolder = StandIn::CFHolder<>;

// A node as a new CF object: true with null for the kinds a dictionary has no use for here
// (data, dates, UIDs), which are left out; false for a list that is not sound. The reader has
// bounded the nesting, so the recursion is shallow.
bool convertNode(plist_t node, CFHolder& result)
{
    result.reset();
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        result.reset(StandIn::createString(std::string_view(text ? text : "", text ? length : 0)));
        return result != nullptr;
    }
    case PLIST_UINT: {
        // libplist keeps every integer as 64 bits; a negative one arrives as its two's complement.
        uint64_t bits = 0;
        plist_get_uint_val(node, &bits);
        auto value = static_cast<SInt64>(bits);
        result.reset(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &value));
        return true;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        result.reset(CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &value));
        return true;
    }
    case PLIST_BOOLEAN: {
        // There is no CFBoolean in the stand-in; callers read a flag with CFNumberGetValue.
        uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        SInt8 value = flag ? 1 : 0;
        result.reset(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt8Type, &value));
        return true;
    }
    case PLIST_ARRAY: {
        CFHolder array(CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
        bool sound = StandIn::forEachItem(node, [&](plist_t item) {
            CFHolder value;
            if (!convertNode(item, value))
                return false;
            if (value)
                CFArrayAppendValue(static_cast<CFMutableArrayRef>(const_cast<void*>(array.get())), value.get());
            return true;
        });
        if (sound)
            result = std::move(array);
        return sound;
    }
    case PLIST_DICT: {
        CFHolder dictionary(CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
            &kCFTypeDictionaryValueCallBacks));
        bool sound = StandIn::forEachEntry(node, [&](std::string_view keyText, plist_t item) {
            CFHolder key(StandIn::createString(keyText));
            CFHolder value;
            if (!key || !convertNode(item, value))
                return false;
            if (value)
                CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(dictionary.get())), key.get(),
                    value.get());
            return true;
        });
        if (sound)
            result = std::move(dictionary);
        return sound;
    }
    default:
        return true;
    }
}

}

StandIn::CFHolder<> _CFBundleReadInfoDictionary(const std::string& path)
{
    StandIn::PropertyListLimits limits;
    limits.maximumFileSize = kCFMaximumResourceFileSize;
    StandIn::PropertyList list;
    if (!StandIn::readPropertyList(path, limits, list, nullptr) || plist_get_node_type(list.root.get()) != PLIST_DICT)
        return nullptr;
    CFHolder dictionary;
    if (!convertNode(list.root.get(), dictionary))
        return nullptr;
    return dictionary;
}
