#include <Base/Unicode.h>

namespace StandIn::UTF8 {

namespace {

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendUTF16(std::u16string& units, char32_t codePoint)
{
    if (codePoint < 0x10000) {
        units.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    units.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    units.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
}

void appendUTF8(std::string& bytes, char32_t codePoint)
{
    if (codePoint < 0x80) {
        bytes.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        bytes.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        bytes.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        bytes.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        bytes.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        bytes.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        bytes.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

}

std::optional<Character> decodeAt(std::string_view text, size_t position)
{
    if (position >= text.size())
        return std::nullopt;
    auto lead = static_cast<unsigned char>(text[position]);
    if (lead < 0x80)
        return Character { lead, 1 };
    size_t length;
    char32_t codePoint, smallest;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, codePoint = lead & 0x1F, smallest = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, codePoint = lead & 0x0F, smallest = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, codePoint = lead & 0x07, smallest = 0x10000;
    else
        return std::nullopt;
    if (text.size() - position < length)
        return std::nullopt;
    for (size_t i = 1; i < length; ++i) {
        char next = text[position + i];
        if (!isContinuation(next))
            return std::nullopt;
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(next) & 0x3F);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return std::nullopt;
    return Character { codePoint, length };
}

size_t firstInvalid(std::string_view text)
{
    for (size_t position = 0; position < text.size();) {
        // Most names are ASCII, which needs no decoding.
        if (static_cast<unsigned char>(text[position]) < 0x80) {
            ++position;
            continue;
        }
        auto character = decodeAt(text, position);
        if (!character)
            return position;
        position += character->length;
    }
    return std::string_view::npos;
}

bool isValid(std::string_view text)
{
    return firstInvalid(text) == std::string_view::npos;
}

size_t characterCount(std::string_view text)
{
    size_t count = 0;
    for (char byte : text)
        count += !isContinuation(byte);
    return count;
}

size_t characterStart(std::string_view text, size_t position)
{
    if (position >= text.size())
        return text.size();
    while (position > 0 && isContinuation(text[position]))
        --position;
    return position;
}

size_t cutLength(std::string_view text, size_t limit)
{
    return limit >= text.size() ? text.size() : characterStart(text, limit);
}

size_t previousCharacter(std::string_view text, size_t position)
{
    if (position == 0)
        return 0;
    return characterStart(text, position - 1);
}

size_t nextCharacter(std::string_view text, size_t position)
{
    if (position >= text.size())
        return text.size();
    do
        ++position;
    while (position < text.size() && isContinuation(text[position]));
    return position;
}

std::optional<std::u16string> toUTF16(std::string_view text)
{
    std::u16string units;
    units.reserve(text.size());
    for (size_t position = 0; position < text.size();) {
        auto character = decodeAt(text, position);
        if (!character)
            return std::nullopt;
        appendUTF16(units, character->codePoint);
        position += character->length;
    }
    return units;
}

std::optional<std::string> fromUTF16(std::u16string_view units)
{
    std::string bytes;
    bytes.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t codePoint = units[i];
        if (isHighSurrogate(codePoint)) {
            if (i + 1 >= units.size() || !isLowSurrogate(units[i + 1]))
                return std::nullopt;
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (isLowSurrogate(codePoint)) {
            return std::nullopt;
        }
        appendUTF8(bytes, codePoint);
    }
    return bytes;
}

}
