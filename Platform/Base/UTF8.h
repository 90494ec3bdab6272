// Stand-in only: reading UTF-8, the system's text encoding, one character at a time, for the
// programs that take apart text from outside (to show it safely, say). Valid as Unicode defines
// it: no overlong form, no surrogate, nothing beyond U+10FFFF, no sequence cut short.
#pragma once

#include <Base/PlatformExport.h>

#include <cstddef>
#include <optional>
#include <string_view>

namespace StandIn::UTF8 {

struct Character {
    char32_t codePoint;
    size_t length; // in bytes
};

// The character that starts at byte position, or nothing when no valid sequence starts there.
PLATFORM_EXPORT std::optional<Character> decodeAt(std::string_view text, size_t position);

}
