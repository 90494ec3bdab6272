// Inside the stand-in: UTF-8, the system's text encoding, for every family that takes text
// apart. Valid means well-formed as Unicode defines it: no overlong form, no surrogate, nothing
// beyond U+10FFFF, no sequence cut short. Positions are byte offsets.
#pragma once

#include <Base/UTF8.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace StandIn::UTF8 {

// The offset of the first byte that does not start a valid sequence; npos when there is none.
size_t firstInvalid(std::string_view text);
bool isValid(std::string_view text);

inline bool isContinuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Characters counted by the bytes that start them, for text already known to be valid.
size_t characterCount(std::string_view text);
// The start of the character that the byte at position belongs to; the end of the text stays.
size_t characterStart(std::string_view text, size_t position);
// The longest prefix of text of at most limit bytes that ends where a character ends: text cut
// to a limit never ends in half a character.
size_t cutLength(std::string_view text, size_t limit);
// The start of the character before position, and the end of the character at position.
size_t previousCharacter(std::string_view text, size_t position);
size_t nextCharacter(std::string_view text, size_t position);

// UTF-8 to UTF-16 and back; nothing when the input is not valid (for UTF-16, a lone surrogate).
std::optional<std::u16string> toUTF16(std::string_view text);
std::optional<std::string> fromUTF16(std::u16string_view units);

}
