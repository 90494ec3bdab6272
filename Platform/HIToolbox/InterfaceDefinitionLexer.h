// Inside the stand-in: the lexer of interface-definition text (InterfaceDefinitionFormat.md). Each
// line is scanned on its own into a keyword, a quoted name or a kind, and attributes: name=value
// lists of numbers, strings, four-char codes and words, or bare flags.
#pragma once

#include <CoreFoundation/MacTypes.h>

#include <string>
#include <string_view>
#include <vector>

namespace StandIn::InterfaceDefinition {

// The first fault of the text, thrown by the lexer, the attributes and the reader alike; parse
// turns it into its result, so a file is used whole or not at all.
struct Failure {
    int line;
    std::string message;
};

[[noreturn]] void fail(int line, std::string message);

bool isBlank(char c);

struct Atom {
    enum class Type {
        Number,
        String,
        Code,
        Word,
    };
    Type type { Type::Word };
    long long number { 0 };
    // The text of a string or a word.
    std::string text;
    UInt32 code { 0 };
};

struct Attribute {
    std::string name;
    // Written bare, without '=' and a value.
    bool isFlag { true };
    std::vector<Atom> values;
};

const char* describe(Atom::Type type);

// The tokens of one line, after its indentation.
class LineScanner {
public:
    LineScanner(std::string_view text, int line);

    int line() const { return m_line; }
    char peek() const { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }

    void skipBlanks();
    // True at the end of the line or at a comment.
    bool atEnd();
    std::string word();
    // A string in double quotes, its opening quote at the current position.
    std::string string();
    // Every attribute up to the end of the line.
    std::vector<Attribute> attributes();

private:
    // Between tokens: a blank, the end or a comment.
    bool atSeparator() const { return m_pos >= m_text.size() || isBlank(m_text[m_pos]) || m_text[m_pos] == '#'; }

    // Values separated by commas; blanks may stand around the commas.
    std::vector<Atom> valueList(const std::string& name);
    Atom atom(const std::string& name);
    long long number();
    UInt32 code();

    std::string_view m_text;
    size_t m_pos { 0 };
    int m_line;
};

}
