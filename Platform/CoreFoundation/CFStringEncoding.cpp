// Conversions between UTF-16 code units and the byte encodings the stand-in supports.
#include <CoreFoundation/CFStringPrivate.h>

#include <Base/Unicode.h>

namespace {

std::optional<std::u16string> decodeUTF16(std::string_view bytes, bool bigEndian)
{
    if (bytes.size() % 2)
        return std::nullopt;
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i < bytes.size(); i += 2) {
        auto first = static_cast<unsigned char>(bytes[i]);
        auto second = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first)));
    }
    return units;
}

std::string encodeUTF16(std::u16string_view units, bool bigEndian)
{
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        char high = static_cast<char>(unit >> 8);
        char low = static_cast<char>(unit & 0xFF);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

constexpr bool hostIsBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

}

std::optional<std::u16string> _CFDecode(std::string_view bytes, CFStringEncoding encoding)
{
    switch (encoding) {
    case kCFStringEncodingUTF8:
        return StandIn::UTF8::toUTF16(bytes);
    case kCFStringEncodingASCII:
    case kCFStringEncodingISOLatin1: {
        std::u16string units;
        units.reserve(bytes.size());
        for (char byte : bytes) {
            auto value = static_cast<unsigned char>(byte);
            if (encoding == kCFStringEncodingASCII && value >= 0x80)
                return std::nullopt;
            units.push_back(value);
        }
        return units;
    }
    case kCFStringEncodingUTF16: {
        // A byte-order mark decides the order and is not part of the text.
        if (bytes.size() >= 2) {
            auto b0 = static_cast<unsigned char>(bytes[0]);
            auto b1 = static_cast<unsigned char>(bytes[1]);
            if (b0 == 0xFE && b1 == 0xFF)
                return decodeUTF16(bytes.substr(2), true);
            if (b0 == 0xFF && b1 == 0xFE)
                return decodeUTF16(bytes.substr(2), false);
        }
        return decodeUTF16(bytes, hostIsBigEndian);
    }
    case kCFStringEncodingUTF16BE:
        return decodeUTF16(bytes, true);
    case kCFStringEncodingUTF16LE:
        return decodeUTF16(bytes, false);
    default:
        return std::nullopt;
    }
}

std::optional<std::string> _CFEncode(std::u16string_view units, CFStringEncoding encoding)
{
    switch (encoding) {
    case kCFStringEncodingUTF8:
        return StandIn::UTF8::fromUTF16(units);
    case kCFStringEncodingASCII:
    case kCFStringEncodingISOLatin1: {
        char16_t limit = encoding == kCFStringEncodingASCII ? 0x80 : 0x100;
        std::string bytes;
        bytes.reserve(units.size());
        for (char16_t unit : units) {
            if (unit >= limit)
                return std::nullopt;
            bytes.push_back(static_cast<char>(unit));
        }
        return bytes;
    }
    case kCFStringEncodingUTF16:
        return encodeUTF16(units, hostIsBigEndian);
    case kCFStringEncodingUTF16BE:
        return encodeUTF16(units, true);
    case kCFStringEncodingUTF16LE:
        return encodeUTF16(units, false);
    default:
        return std::nullopt;
    }
}
