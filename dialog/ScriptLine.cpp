#include "dialog/ScriptLine.h"

#include <algorithm>
#include <charconv>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

}

std::optional<ScriptLine> parseScriptLine(const std::string& text, int number, std::string* error)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        if (isBlank(text[i])) {
            ++i;
            continue;
        }
        if (text[i] == '#')
            break;
        std::string word;
        if (text[i] != '"') {
            while (i < text.size() && !isBlank(text[i]) && text[i] != '#')
                word += text[i++];
            words.push_back(std::move(word));
            continue;
        }
        ++i;
        bool closed = false;
        while (i < text.size()) {
            char c = text[i++];
            if (c == '"') {
                closed = true;
                break;
            }
            if (c != '\\') {
                word += c;
                continue;
            }
            if (i >= text.size())
                break;
            switch (text[i++]) {
            case '"': word += '"'; break;
            case '\\': word += '\\'; break;
            case 'n': word += '\n'; break;
            case 't': word += '\t'; break;
            case 'r': word += '\r'; break;
            case 'x': {
                const char* digits = text.data() + i;
                unsigned char byte = 0;
                auto [end, status] = std::from_chars(digits, digits + std::min<size_t>(2, text.size() - i), byte, 16);
                if (status != std::errc() || end != digits + 2) {
                    *error = "a \\x escape needs two hexadecimal digits";
                    return std::nullopt;
                }
                word += static_cast<char>(byte);
                i += 2;
                break;
            }
            default:
                *error = "an unknown escape in a quoted text (the escapes are \\\" \\\\ \\n \\t \\r \\xHH)";
                return std::nullopt;
            }
        }
        if (!closed) {
            *error = "a quoted text is not closed";
            return std::nullopt;
        }
        words.push_back(std::move(word));
    }
    ScriptLine line;
    line.number = number;
    if (!words.empty()) {
        line.action = words.front();
        line.arguments.assign(words.begin() + 1, words.end());
    }
    error->clear();
    return line;
}
