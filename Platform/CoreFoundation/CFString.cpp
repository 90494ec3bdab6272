#include <CoreFoundation/CFStringPrivate.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

__CFString::__CFString(std::u16string text)
    : __CFRuntimeBase(classTypeID())
    , units(std::move(text))
{
}

CFTypeID __CFString::classTypeID()
{
    static const CFTypeID typeID = _CFRuntimeRegisterClass("CFString");
    return typeID;
}

bool __CFString::equals(const __CFRuntimeBase& other) const
{
    return units == static_cast<const __CFString&>(other).units;
}

CFHashCode __CFString::hash() const
{
    if (!m_hashed) {
        m_hash = std::hash<std::u16string> {}(units);
        m_hashed = true;
    }
    return m_hash;
}

std::string __CFString::describe() const
{
    if (auto text = _CFEncode(units, kCFStringEncodingUTF8))
        return *text;
    // A lone surrogate has no UTF-8 form; show it as U+FFFD rather than nothing.
    std::u16string repaired = units;
    for (size_t i = 0; i < repaired.size(); ++i) {
        char16_t unit = repaired[i];
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < repaired.size() && repaired[i + 1] >= 0xDC00 && repaired[i + 1] <= 0xDFFF)
            ++i;
        else if (high || low)
            repaired[i] = 0xFFFD;
    }
    return _CFEncode(repaired, kCFStringEncodingUTF8).value_or("");
}

std::string StandIn::toUTF8(CFStringRef string)
{
    auto* object = _CFCast<__CFString>(string);
    return object ? object->describe() : std::string();
}

CFStringRef StandIn::createString(std::string_view text)
{
    auto units = _CFDecode(text, kCFStringEncodingUTF8);
    return units ? new __CFString(std::move(*units)) : nullptr;
}

CFTypeID CFStringGetTypeID(void)
{
    return __CFString::classTypeID();
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding)
{
    if (!cStr)
        return nullptr;
    auto units = _CFDecode(cStr, encoding);
    return units ? new __CFString(std::move(*units)) : nullptr;
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding, Boolean)
{
    if (numBytes < 0 || (!bytes && numBytes > 0))
        return nullptr;
    std::string_view view(reinterpret_cast<const char*>(bytes), numBytes);
    auto units = _CFDecode(view, encoding);
    return units ? new __CFString(std::move(*units)) : nullptr;
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars)
{
    if (numChars < 0 || (!chars && numChars > 0))
        return nullptr;
    return new __CFString(std::u16string(reinterpret_cast<const char16_t*>(chars), numChars));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString)
{
    auto* object = _CFCast<__CFString>(theString);
    if (!object)
        return nullptr;
    return static_cast<CFStringRef>(CFRetain(theString));
}

CFIndex CFStringGetLength(CFStringRef theString)
{
    auto* object = _CFCast<__CFString>(theString);
    return object ? static_cast<CFIndex>(object->units.size()) : 0;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx)
{
    auto* object = _CFCast<__CFString>(theString);
    if (!object || idx < 0 || static_cast<size_t>(idx) >= object->units.size())
        return 0;
    return object->units[idx];
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer)
{
    auto* object = _CFCast<__CFString>(theString);
    if (!object || !buffer || range.location < 0 || range.length < 0
        || static_cast<size_t>(range.location) + range.length > object->units.size())
        return;
    std::copy_n(object->units.begin() + range.location, range.length, reinterpret_cast<char16_t*>(buffer));
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding)
{
    auto* object = _CFCast<__CFString>(theString);
    if (!object || !buffer || bufferSize <= 0)
        return false;
    auto bytes = _CFEncode(object->units, encoding);
    if (!bytes || static_cast<CFIndex>(bytes->size()) >= bufferSize)
        return false;
    std::copy(bytes->begin(), bytes->end(), buffer);
    buffer[bytes->size()] = '\0';
    return true;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding)
{
    switch (encoding) {
    case kCFStringEncodingUTF8:
        return length * 3;
    case kCFStringEncodingUTF16:
    case kCFStringEncodingUTF16BE:
    case kCFStringEncodingUTF16LE:
        return length * 2;
    default:
        return length;
    }
}

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2, CFOptionFlags)
{
    auto* a = _CFCast<__CFString>(theString1);
    auto* b = _CFCast<__CFString>(theString2);
    std::u16string_view left = a ? std::u16string_view(a->units) : std::u16string_view();
    std::u16string_view right = b ? std::u16string_view(b->units) : std::u16string_view();
    int order = left.compare(right);
    return order < 0 ? kCFCompareLessThan : order > 0 ? kCFCompareGreaterThan
                                                      : kCFCompareEqualTo;
}

CFStringEncoding CFStringGetSystemEncoding(void)
{
    return kCFStringEncodingUTF8;
}

CFStringRef __CFStringMakeConstantString(const char* cStr)
{
    static std::mutex lock;
    // Never destroyed: constant strings outlive every static destructor that might use one.
    static auto& constants = *new std::map<std::string, CFStringRef, std::less<>>();
    std::lock_guard guard(lock);
    if (auto found = constants.find(cStr); found != constants.end())
        return found->second;
    auto units = _CFDecode(cStr, kCFStringEncodingUTF8);
    auto* string = new __CFString(units.value_or(std::u16string()));
    string->makeImmortal();
    constants.emplace(cStr, string);
    return string;
}
