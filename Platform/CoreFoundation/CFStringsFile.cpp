#include <CoreFoundation/CFStringsFileStandIn.h>

#include <CoreFoundation/CFStringPrivate.h>
#include <Base/RegularFile.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ParseFailure {
    size_t line;
    std::string message;
};

// UTF-8 is decoded a line at a time so that an invalid byte can be reported by its line; no
// UTF-8 sequence contains a newline byte, so the lines decode exactly as the whole would.
std::optional<std::u16string> decodeUTF8ByLine(std::string_view bytes, ParseFailure& failure)
{
    std::u16string text;
    size_t line = 1;
    while (!bytes.empty()) {
        size_t newline = bytes.find('\n');
        std::string_view piece = bytes.substr(0, newline == std::string_view::npos ? bytes.size() : newline + 1);
        auto units = _CFDecode(piece, kCFStringEncodingUTF8);
        if (!units) {
            failure = { line, "not valid UTF-8 text" };
            return std::nullopt;
        }
        text += *units;
        bytes.remove_prefix(piece.size());
        ++line;
    }
    return text;
}

std::optional<std::u16string> decode(std::string_view bytes, ParseFailure& failure)
{
    auto startsWith = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
    if (startsWith("\xFE\xFF") || startsWith("\xFF\xFE")) {
        auto units = _CFDecode(bytes, kCFStringEncodingUTF16);
        if (!units)
            failure = { 0, "UTF-16 text with an odd number of bytes" };
        return units;
    }
    if (startsWith("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    return decodeUTF8ByLine(bytes, failure);
}

bool isBareCharacter(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'.'
        || c == u'-';
}

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v' || c == 0xFEFF;
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// One pass over the text, never stepping back: every input ends, well or with an error, in
// time proportional to its length.
class Parser {
public:
    explicit Parser(std::u16string_view text)
        : m_text(text)
    {
    }

    std::optional<StandIn::StringsTable> parse()
    {
        StandIn::StringsTable table;
        for (;;) {
            if (!skipSpaceAndComments())
                return std::nullopt;
            if (atEnd())
                return table;
            auto key = token();
            // A missing separator is reported on the line of the token it should follow.
            size_t keyLine = m_line;
            if (!key || !skipSpaceAndComments())
                return std::nullopt;
            std::u16string value;
            if (peek() == u';') {
                value = *key;
            } else if (peek() == u'=') {
                ++m_position;
                if (!skipSpaceAndComments())
                    return std::nullopt;
                auto given = token();
                size_t valueLine = m_line;
                if (!given || !skipSpaceAndComments())
                    return std::nullopt;
                if (peek() != u';')
                    return fail("expected ';' after the value", valueLine);
                value = std::move(*given);
            } else {
                return fail("expected '=' or ';' after the key", keyLine);
            }
            ++m_position;
            table.insert_or_assign(std::move(*key), std::move(value));
        }
    }

    const ParseFailure& failure() const { return m_failure; }

private:
    bool atEnd() const { return m_position >= m_text.size(); }
    char16_t peek(size_t ahead = 0) const
    {
        return m_position + ahead < m_text.size() ? m_text[m_position + ahead] : 0;
    }

    // Counts a line for "\n", "\r\n" and a lone "\r" alike.
    void advance()
    {
        char16_t c = m_text[m_position++];
        if (c == u'\n' || (c == u'\r' && peek() != u'\n'))
            ++m_line;
    }

    std::nullopt_t fail(std::string message, size_t line = 0)
    {
        m_failure = { line ? line : m_line, std::move(message) };
        return std::nullopt;
    }

    bool skipSpaceAndComments()
    {
        while (!atEnd()) {
            if (isSpace(peek())) {
                advance();
            } else if (peek() == u'/' && peek(1) == u'*') {
                size_t opened = m_line;
                m_position += 2;
                while (!atEnd() && !(peek() == u'*' && peek(1) == u'/'))
                    advance();
                if (atEnd()) {
                    fail("unterminated comment", opened);
                    return false;
                }
                m_position += 2;
            } else if (peek() == u'/' && peek(1) == u'/') {
                while (!atEnd() && peek() != u'\n' && peek() != u'\r')
                    ++m_position;
            } else {
                return true;
            }
        }
        return true;
    }

    std::optional<std::u16string> token()
    {
        if (peek() == u'"')
            return quoted();
        if (!atEnd() && isBareCharacter(peek())) {
            size_t start = m_position;
            while (!atEnd() && isBareCharacter(peek()))
                ++m_position;
            return std::u16string(m_text.substr(start, m_position - start));
        }
        return atEnd() ? fail("unexpected end of file") : fail("expected a quoted string");
    }

    std::optional<std::u16string> quoted()
    {
        size_t opened = m_line;
        ++m_position;
        std::u16string text;
        for (;;) {
            if (atEnd())
                return fail("unterminated string", opened);
            char16_t c = peek();
            if (c == u'"') {
                ++m_position;
                return text;
            }
            if (c != u'\\') {
                text.push_back(c);
                advance();
                continue;
            }
            ++m_position;
            char16_t escaped = peek();
            switch (escaped) {
            case u'"':
            case u'\\': text.push_back(escaped); break;
            case u'n': text.push_back(u'\n'); break;
            case u't': text.push_back(u'\t'); break;
            case u'r': text.push_back(u'\r'); break;
            case u'U': {
                ++m_position;
                auto unit = hexUnit();
                if (!unit)
                    return std::nullopt;
                if (*unit >= 0xDC00 && *unit <= 0xDFFF)
                    return fail("a \\U escape with a low surrogate that no high surrogate precedes");
                text.push_back(*unit);
                if (*unit >= 0xD800 && *unit <= 0xDBFF) {
                    // A lone surrogate would make a string no encoding can write out.
                    if (peek() != u'\\' || peek(1) != u'U')
                        return fail("a \\U escape with a high surrogate that no low surrogate follows");
                    m_position += 2;
                    auto low = hexUnit();
                    if (!low)
                        return std::nullopt;
                    if (*low < 0xDC00 || *low > 0xDFFF)
                        return fail("a \\U escape with a high surrogate that no low surrogate follows");
                    text.push_back(*low);
                }
                continue;
            }
            default: return fail(atEnd() ? "unterminated string" : "unknown escape in a string");
            }
            ++m_position;
        }
    }

    std::optional<char16_t> hexUnit()
    {
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            int digit = hexValue(peek());
            if (atEnd() || digit < 0) {
                fail("\\U must be followed by four hexadecimal digits");
                return std::nullopt;
            }
            value = value << 4 | static_cast<unsigned>(digit);
            ++m_position;
        }
        return static_cast<char16_t>(value);
    }

    std::u16string_view m_text;
    size_t m_position { 0 };
    size_t m_line { 1 };
    ParseFailure m_failure { 0, "" };
};

std::nullopt_t report(StandIn::StringsFileError* error, size_t line, std::string message)
{
    if (error)
        *error = { line, std::move(message) };
    return std::nullopt;
}

}

std::optional<StandIn::StringsTable> StandIn::parseStringsFile(std::string_view bytes, StandIn::StringsFileError* error)
{
    if (bytes.size() > kCFMaximumResourceFileSize)
        return report(error, 0, "too large for a strings file");
    ParseFailure failure { 0, "" };
    auto text = decode(bytes, failure);
    if (!text)
        return report(error, failure.line, failure.message);
    Parser parser(*text);
    auto table = parser.parse();
    if (!table)
        return report(error, parser.failure().line, parser.failure().message);
    return table;
}

std::optional<StandIn::StringsTable> _CFReadStringsFile(const std::string& path, StandIn::StringsFileError* error)
{
    std::string contents;
    StandIn::FileFailure failure;
    if (!StandIn::readRegularFile(path, kCFMaximumResourceFileSize, contents, &failure))
        return report(error, 0, failure.describe());
    return StandIn::parseStringsFile(contents, error);
}

bool _CFIsContainedPath(std::string_view path)
{
    if (path.empty() || path.front() == '/' || path.find('\0') != std::string_view::npos)
        return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (path.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}
