// Inside the stand-in: the string object and the conversions other families share.
#pragma once

#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStandIn.h>
#include <CoreFoundation/CFString.h>

#include <optional>
#include <string>
#include <string_view>

struct __CFString final : __CFRuntimeBase {
    explicit __CFString(std::u16string units);

    static CFTypeID classTypeID();

    bool equals(const __CFRuntimeBase& other) const override;
    CFHashCode hash() const override;
    // The text as UTF-8, with U+FFFD for any lone surrogate.
    std::string describe() const override;

    std::u16string units;

private:
    // Strings never change, so their hash is worked out once: dictionaries ask for it often.
    mutable CFHashCode m_hash { 0 };
    mutable bool m_hashed { false };
};

// Decoding fails on bytes that are not valid in the encoding.
std::optional<std::u16string> _CFDecode(std::string_view bytes, CFStringEncoding encoding);
// Encoding fails on characters the encoding cannot hold.
std::optional<std::string> _CFEncode(std::u16string_view units, CFStringEncoding encoding);
