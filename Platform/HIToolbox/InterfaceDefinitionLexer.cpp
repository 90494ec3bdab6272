#include <HIToolbox/InterfaceDefinitionLexer.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace StandIn::InterfaceDefinition {

void fail(int line, std::string message)
{
    throw Failure { line, std::move(message) };
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isWordCharacter(char c)
{
    return isLetter(c) || isDigit(c) || c == '-' || c == '_';
}

std::string quoteCharacter(char c)
{
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x21 && byte < 0x7F)
        return std::string("'") + c + "'";
    char text[16];
    snprintf(text, sizeof text, "byte 0x%02X", byte);
    return text;
}

}

const char* describe(Atom::Type type)
{
    switch (type) {
    case Atom::Type::Number: return "a number";
    case Atom::Type::String: return "a string in double quotes";
    case Atom::Type::Code: return "a four-char code in single quotes";
    case Atom::Type::Word: return "a word";
    }
    return "";
}

LineScanner::LineScanner(std::string_view text, int line)
    : m_text(text)
    , m_line(line)
{
}

void LineScanner::skipBlanks()
{
    while (m_pos < m_text.size() && isBlank(m_text[m_pos]))
        ++m_pos;
}

bool LineScanner::atEnd()
{
    skipBlanks();
    return m_pos >= m_text.size() || m_text[m_pos] == '#';
}

std::string LineScanner::word()
{
    skipBlanks();
    if (!isLetter(peek()))
        fail(m_line, atEnd() ? "a word is missing at the end of the line" : "expected a word, found " + quoteCharacter(peek()));
    size_t start = m_pos;
    while (m_pos < m_text.size() && isWordCharacter(m_text[m_pos]))
        ++m_pos;
    return std::string(m_text.substr(start, m_pos - start));
}

std::string LineScanner::string()
{
    ++m_pos;
    std::string text;
    for (;;) {
        if (m_pos >= m_text.size())
            fail(m_line, "unterminated string");
        char c = m_text[m_pos++];
        if (c == '"')
            return text;
        if (c == '\\') {
            char escaped = peek();
            ++m_pos;
            switch (escaped) {
            case '"': text += '"'; break;
            case '\\': text += '\\'; break;
            case 'n': text += '\n'; break;
            case 't': text += '\t'; break;
            case '\0': fail(m_line, "unterminated string");
            default:
                fail(m_line, "unknown escape " + (isLetter(escaped) || isDigit(escaped) ? std::string { '\\', escaped } : "sequence") + " in a string (use \\\" \\\\ \\n or \\t)");
            }
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            fail(m_line, "control character in a string (write \\n or \\t)");
        } else {
            text += c;
        }
    }
}

std::vector<Attribute> LineScanner::attributes()
{
    std::vector<Attribute> found;
    while (!atEnd()) {
        Attribute attribute;
        attribute.name = word();
        for (const auto& earlier : found) {
            if (earlier.name == attribute.name)
                fail(m_line, "'" + attribute.name + "' is given twice");
        }
        if (peek() == '=') {
            ++m_pos;
            attribute.isFlag = false;
            attribute.values = valueList(attribute.name);
        } else {
            size_t here = m_pos;
            skipBlanks();
            if (peek() == '=')
                fail(m_line, "no spaces around '=' after '" + attribute.name + "'");
            m_pos = here;
            if (!atSeparator())
                fail(m_line, "unexpected " + quoteCharacter(peek()) + " after '" + attribute.name + "'");
        }
        found.push_back(std::move(attribute));
    }
    return found;
}

std::vector<Atom> LineScanner::valueList(const std::string& name)
{
    std::vector<Atom> values;
    if (atSeparator())
        fail(m_line, "'" + name + "=' has no value");
    values.push_back(atom(name));
    for (;;) {
        size_t here = m_pos;
        skipBlanks();
        if (peek() != ',') {
            m_pos = here;
            break;
        }
        ++m_pos;
        if (atEnd())
            fail(m_line, "a value is missing after ',' in '" + name + "'");
        values.push_back(atom(name));
    }
    if (!atSeparator() && peek() != ',')
        fail(m_line, "unexpected " + quoteCharacter(peek()) + " after the value of '" + name + "'");
    return values;
}

Atom LineScanner::atom(const std::string& name)
{
    Atom value;
    char c = peek();
    if (c == '"') {
        value.type = Atom::Type::String;
        value.text = string();
    } else if (c == '\'') {
        value.type = Atom::Type::Code;
        value.code = code();
    } else if (isDigit(c) || c == '-' || c == '+') {
        value.type = Atom::Type::Number;
        value.number = number();
    } else if (isLetter(c)) {
        value.type = Atom::Type::Word;
        value.text = word();
    } else {
        fail(m_line, "unexpected " + quoteCharacter(c) + " in the value of '" + name + "'");
    }
    return value;
}

long long LineScanner::number()
{
    size_t start = m_pos;
    if (peek() == '-' || peek() == '+')
        ++m_pos;
    while (m_pos < m_text.size() && (isWordCharacter(m_text[m_pos]) || m_text[m_pos] == '.'))
        ++m_pos;
    std::string_view token = m_text.substr(start, m_pos - start);
    std::string_view magnitude = token.substr(token.front() == '-' || token.front() == '+' ? 1 : 0);
    if (magnitude.empty() || !std::all_of(magnitude.begin(), magnitude.end(), isDigit))
        fail(m_line, "bad number '" + std::string(token) + "'");
    // from_chars takes a minus but no plus.
    std::string_view digits = token.front() == '-' ? token : magnitude;
    long long value = 0;
    if (std::from_chars(digits.data(), digits.data() + digits.size(), value).ec != std::errc())
        fail(m_line, "number " + std::string(token) + " is out of range");
    return value;
}

UInt32 LineScanner::code()
{
    size_t close = m_text.find('\'', m_pos + 1);
    if (close == std::string_view::npos)
        fail(m_line, "unterminated four-char code");
    std::string_view characters = m_text.substr(m_pos + 1, close - m_pos - 1);
    if (characters.size() != 4)
        fail(m_line, "a four-char code has 4 characters, not " + std::to_string(characters.size()));
    UInt32 code = 0;
    for (char c : characters) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            fail(m_line, "a four-char code holds printable ASCII only");
        code = (code << 8) | static_cast<unsigned char>(c);
    }
    m_pos = close + 1;
    return code;
}

}
