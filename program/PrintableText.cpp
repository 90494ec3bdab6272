#include "program/PrintableText.h"

#include <Base/UTF8.h>

#include <cstdio>

namespace {

bool breaksTheLine(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E)
        || (c >= 0x2066 && c <= 0x2069);
}

}

std::string printableText(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        char escape[16];
        auto character = StandIn::UTF8::decodeAt(text, at);
        if (!character || character->codePoint < 0x80) {
            auto byte = static_cast<unsigned char>(text[at]);
            if (byte == '\\')
                shown += "\\\\";
            else if (character && !breaksTheLine(byte))
                shown += static_cast<char>(byte);
            else {
                snprintf(escape, sizeof escape, "\\x%02X", byte);
                shown += escape;
            }
            ++at;
            continue;
        }
        if (breaksTheLine(character->codePoint)) {
            snprintf(escape, sizeof escape, "\\u{%X}", static_cast<unsigned>(character->codePoint));
            shown += escape;
        } else {
            shown.append(text.substr(at, character->length));
        }
        at += character->length;
    }
    return shown;
}
