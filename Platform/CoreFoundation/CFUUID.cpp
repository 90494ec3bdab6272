#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStringPrivate.h>
#include <CoreFoundation/CFUUID.h>

#include <array>
#include <charconv>
#include <cstring>
#include <map>
#include <mutex>

namespace {

using UUIDValue = std::array<UInt8, 16>;

UUIDValue valueOf(const CFUUIDBytes& bytes)
{
    UUIDValue value;
    memcpy(value.data(), &bytes, sizeof bytes);
    return value;
}

}

struct __CFUUID final : __CFRuntimeBase {
    explicit __CFUUID(const UUIDValue& bytes)
        : __CFRuntimeBase(classTypeID())
        , value(bytes)
    {
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("CFUUID");
        return typeID;
    }

    bool equals(const __CFRuntimeBase& other) const override { return value == static_cast<const __CFUUID&>(other).value; }

    CFHashCode hash() const override
    {
        CFHashCode hash = 0;
        memcpy(&hash, value.data(), sizeof hash);
        return hash;
    }

    std::string describe() const override
    {
        static const char digits[] = "0123456789ABCDEF";
        std::string text;
        for (size_t i = 0; i < value.size(); ++i) {
            if (i == 4 || i == 6 || i == 8 || i == 10)
                text += '-';
            text += digits[value[i] >> 4];
            text += digits[value[i] & 0xF];
        }
        return text;
    }

    UUIDValue value;
};

CFTypeID CFUUIDGetTypeID(void)
{
    return __CFUUID::classTypeID();
}

CFUUIDRef CFUUIDCreateFromString(CFAllocatorRef, CFStringRef uuidStr)
{
    if (CFGetTypeID(uuidStr) != CFStringGetTypeID())
        return nullptr;
    std::string text = StandIn::toUTF8(uuidStr);
    if (text.size() != 36)
        return nullptr;
    UUIDValue value {};
    size_t byte = 0;
    for (size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-')
                return nullptr;
            ++i;
            continue;
        }
        const char* digits = text.data() + i;
        auto [end, status] = std::from_chars(digits, digits + 2, value[byte++], 16);
        if (status != std::errc() || end != digits + 2)
            return nullptr;
        i += 2;
    }
    return new __CFUUID(value);
}

CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef, CFUUIDBytes bytes)
{
    return new __CFUUID(valueOf(bytes));
}

CFUUIDRef CFUUIDGetConstantUUIDWithBytes(CFAllocatorRef, UInt8 byte0, UInt8 byte1, UInt8 byte2, UInt8 byte3, UInt8 byte4,
    UInt8 byte5, UInt8 byte6, UInt8 byte7, UInt8 byte8, UInt8 byte9, UInt8 byte10, UInt8 byte11, UInt8 byte12, UInt8 byte13,
    UInt8 byte14, UInt8 byte15)
{
    static std::mutex lock;
    // Never destroyed: constants outlive every static destructor that might use one.
    static auto& constants = *new std::map<UUIDValue, CFUUIDRef>();
    const UUIDValue value = { byte0, byte1, byte2, byte3, byte4, byte5, byte6, byte7, byte8, byte9, byte10, byte11, byte12,
        byte13, byte14, byte15 };
    std::lock_guard guard(lock);
    auto& constant = constants[value];
    if (!constant) {
        auto* uuid = new __CFUUID(value);
        uuid->makeImmortal();
        constant = uuid;
    }
    return constant;
}

CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid)
{
    CFUUIDBytes bytes = {};
    if (auto* object = _CFCast<__CFUUID>(uuid))
        memcpy(&bytes, object->value.data(), sizeof bytes);
    return bytes;
}

CFStringRef CFUUIDCreateString(CFAllocatorRef, CFUUIDRef uuid)
{
    auto* object = _CFCast<__CFUUID>(uuid);
    return object ? StandIn::createString(object->describe()) : nullptr;
}
