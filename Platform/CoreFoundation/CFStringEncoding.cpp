// Conversions between UTF-16 code units and the byte encodings the stand-in supports.
#include <CoreFoundation/CFStringPrivate.h>

namespace {

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendScalar(std::u16string& units, char32_t scalar)
{
    if (scalar < 0x10000) {
        units.push_back(static_cast<char16_t>(scalar));
        return;
    }
    scalar -= 0x10000;
    units.push_back(static_cast<char16_t>(0xD800 + (scalar >> 10)));
    units.push_back(static_cast<char16_t>(0xDC00 + (scalar & 0x3FF)));
}

std::optional<std::u16string> decodeUTF8(std::string_view bytes)
{
    std::u16string units;
    units.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            units.push_back(lead);
            ++i;
            continue;
        }
        int extra;
        char32_t scalar;
        char32_t minimum;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1, scalar = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, scalar = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, scalar = lead & 0x07, minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + extra >= bytes.size())
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            scalar = (scalar << 6) | (next & 0x3F);
        }
        if (scalar < minimum || scalar > 0x10FFFF || isHighSurrogate(scalar) || isLowSurrogate(scalar))
            return std::nullopt;
        appendScalar(units, scalar);
        i += extra + 1;
    }
    return units;
}

std::optional<std::string> encodeUTF8(std::u16string_view units)
{
    std::string bytes;
    bytes.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t scalar = units[i];
        if (isHighSurrogate(scalar)) {
            if (i + 1 >= units.size() || !isLowSurrogate(units[i + 1]))
                return std::nullopt;
            scalar = 0x10000 + ((scalar - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (isLowSurrogate(scalar)) {
            return std::nullopt;
        }
        if (scalar < 0x80) {
            bytes.push_back(static_cast<char>(scalar));
        } else if (scalar < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | (scalar >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
        } else if (scalar < 0x10000) {
            bytes.push_back(static_cast<char>(0xE0 | (scalar >> 12)));
            bytes.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xF0 | (scalar >> 18)));
            bytes.push_back(static_cast<char>(0x80 | ((scalar >> 12) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
        }
    }
    return bytes;
}

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
        return decodeUTF8(bytes);
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
        return encodeUTF8(units);
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
