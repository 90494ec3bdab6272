// The reader of interface-definition text: one line at a time, each either a window, a control,
// an end or a comment. The first fault stops the reading, so a file is used whole or not at all.
#include <HIToolbox/InterfaceDefinition.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <map>
#include <utility>

namespace InterfaceDefinition {

const Window* Description::window(std::string_view name) const
{
    auto found = std::find_if(windows.begin(), windows.end(), [name](const Window& w) { return w.name == name; });
    return found == windows.end() ? nullptr : &*found;
}

namespace {

// Thrown inside the reader only; Parse turns it into its result.
struct Failure {
    int line;
    std::string message;
};

[[noreturn]] void fail(int line, std::string message)
{
    throw Failure { line, std::move(message) };
}

// The line of the first byte sequence that is not UTF-8 (overlong forms and surrogates
// included), or 0 when the text is valid.
int firstLineNotUTF8(std::string_view text)
{
    int line = 1;
    size_t i = 0;
    while (i < text.size()) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if (byte == '\n')
                ++line;
            ++i;
            continue;
        }
        struct Form {
            unsigned char mask, lead;
            size_t length;
            char32_t smallest;
        };
        static constexpr Form kForms[] = { { 0xE0, 0xC0, 2, 0x80 }, { 0xF0, 0xE0, 3, 0x800 }, { 0xF8, 0xF0, 4, 0x10000 } };
        const Form* form = std::find_if(std::begin(kForms), std::end(kForms), [byte](const Form& f) { return (byte & f.mask) == f.lead; });
        if (form == std::end(kForms))
            return line;
        size_t length = form->length;
        char32_t point = byte & static_cast<unsigned char>(~form->mask);
        if (text.size() - i < length)
            return line;
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return line;
            point = (point << 6) | (next & 0x3F);
        }
        if (point < form->smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return line;
        i += length;
    }
    return 0;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

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

// The tokens of one line, after its indentation.
class LineScanner {
public:
    LineScanner(std::string_view text, int line)
        : m_text(text)
        , m_line(line)
    {
    }

    int line() const { return m_line; }

    void skipBlanks()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos]))
            ++m_pos;
    }

    // True at the end of the line or at a comment.
    bool atEnd()
    {
        skipBlanks();
        return m_pos >= m_text.size() || m_text[m_pos] == '#';
    }

    char peek() const { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }

    std::string word()
    {
        skipBlanks();
        if (!isLetter(peek()))
            fail(m_line, atEnd() ? "a word is missing at the end of the line" : "expected a word, found " + quoteCharacter(peek()));
        size_t start = m_pos;
        while (m_pos < m_text.size() && isWordCharacter(m_text[m_pos]))
            ++m_pos;
        return std::string(m_text.substr(start, m_pos - start));
    }

    std::string string()
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

    // Every attribute up to the end of the line.
    std::vector<Attribute> attributes()
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

private:
    // Between tokens: a blank, the end or a comment.
    bool atSeparator() const { return m_pos >= m_text.size() || isBlank(m_text[m_pos]) || m_text[m_pos] == '#'; }

    // Values separated by commas; blanks may stand around the commas.
    std::vector<Atom> valueList(const std::string& name)
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

    Atom atom(const std::string& name)
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

    long long number()
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

    UInt32 code()
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

    std::string_view m_text;
    size_t m_pos { 0 };
    int m_line;
};

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

// The attributes of one line, taken one by one by name; whatever is left over when the line is
// done is not an attribute of its window or control.
class AttributeSet {
public:
    AttributeSet(std::vector<Attribute> attributes, int line, std::string owner)
        : m_attributes(std::move(attributes))
        , m_line(line)
        , m_owner(std::move(owner))
    {
    }

    bool flag(std::string_view name)
    {
        const Attribute* attribute = take(name);
        if (attribute && !attribute->isFlag)
            fail(m_line, "'" + attribute->name + "' is a flag and takes no value");
        return attribute;
    }

    std::optional<std::string> string(std::string_view name)
    {
        const Atom* value = single(name, Atom::Type::String);
        return value ? std::optional(value->text) : std::nullopt;
    }

    std::optional<long long> number(std::string_view name, long long smallest, long long largest)
    {
        const Atom* value = single(name, Atom::Type::Number);
        if (!value)
            return std::nullopt;
        checkRange(name, value->number, smallest, largest);
        return value->number;
    }

    std::optional<UInt32> code(std::string_view name)
    {
        const Atom* value = single(name, Atom::Type::Code);
        return value ? std::optional(value->code) : std::nullopt;
    }

    std::optional<bool> boolean(std::string_view name)
    {
        const Atom* value = single(name, Atom::Type::Word);
        if (!value)
            return std::nullopt;
        if (value->text != "true" && value->text != "false")
            fail(m_line, "'" + std::string(name) + "' must be true or false");
        return value->text == "true";
    }

    std::optional<std::string> word(std::string_view name)
    {
        const Atom* value = single(name, Atom::Type::Word);
        return value ? std::optional(value->text) : std::nullopt;
    }

    Rect bounds(std::string_view name)
    {
        const Attribute* attribute = valued(name);
        if (!attribute)
            fail(m_line, m_owner + " needs " + std::string(name) + "=top,left,bottom,right");
        std::vector<long long> edges = numbers(*attribute, SHRT_MIN, SHRT_MAX);
        if (edges.size() != 4)
            fail(m_line, "'" + attribute->name + "' takes 4 numbers: top,left,bottom,right");
        if (edges[0] > edges[2] || edges[1] > edges[3])
            fail(m_line, "'" + attribute->name + "' has its bottom above its top or its right left of its left");
        return { static_cast<SInt16>(edges[0]), static_cast<SInt16>(edges[1]), static_cast<SInt16>(edges[2]),
            static_cast<SInt16>(edges[3]) };
    }

    std::optional<ControlID> controlID(std::string_view name)
    {
        const Attribute* attribute = valued(name);
        if (!attribute)
            return std::nullopt;
        const auto& values = attribute->values;
        if (values.size() != 2 || values[0].type != Atom::Type::Code || values[1].type != Atom::Type::Number)
            fail(m_line, "'" + attribute->name + "' takes a four-char code and a number, as in id='MVRa',502");
        checkRange(name, values[1].number, INT32_MIN, INT32_MAX);
        return ControlID { values[0].code, static_cast<SInt32>(values[1].number) };
    }

    std::vector<std::string> strings(std::string_view name)
    {
        std::vector<std::string> texts;
        if (const Attribute* attribute = valued(name)) {
            for (const auto& value : attribute->values) {
                if (value.type != Atom::Type::String)
                    fail(m_line, "'" + attribute->name + "' takes strings in double quotes");
                texts.push_back(value.text);
            }
        }
        return texts;
    }

    std::vector<long long> numbers(std::string_view name, long long smallest, long long largest)
    {
        const Attribute* attribute = valued(name);
        return attribute ? numbers(*attribute, smallest, largest) : std::vector<long long> {};
    }

    // Every attribute must have been taken by now.
    void finish(std::string_view hint = {}) const
    {
        for (size_t i = 0; i < m_attributes.size(); ++i) {
            if (!m_taken[i])
                fail(m_line, "'" + m_attributes[i].name + "' is not an attribute of " + m_owner + std::string(hint));
        }
    }

    bool has(std::string_view name) const
    {
        return std::any_of(m_attributes.begin(), m_attributes.end(), [name](const Attribute& a) { return a.name == name; });
    }

private:
    const Attribute* take(std::string_view name)
    {
        for (size_t i = 0; i < m_attributes.size(); ++i) {
            if (m_attributes[i].name == name) {
                m_taken[i] = true;
                return &m_attributes[i];
            }
        }
        return nullptr;
    }

    const Attribute* valued(std::string_view name)
    {
        const Attribute* attribute = take(name);
        if (attribute && attribute->isFlag)
            fail(m_line, "'" + attribute->name + "' needs a value: " + attribute->name + "=...");
        return attribute;
    }

    const Atom* single(std::string_view name, Atom::Type type)
    {
        const Attribute* attribute = valued(name);
        if (!attribute)
            return nullptr;
        if (attribute->values.size() != 1 || attribute->values[0].type != type)
            fail(m_line, "'" + attribute->name + "' takes one value, " + describe(type));
        return &attribute->values[0];
    }

    std::vector<long long> numbers(const Attribute& attribute, long long smallest, long long largest)
    {
        std::vector<long long> result;
        for (const auto& value : attribute.values) {
            if (value.type != Atom::Type::Number)
                fail(m_line, "'" + attribute.name + "' takes numbers");
            checkRange(attribute.name, value.number, smallest, largest);
            result.push_back(value.number);
        }
        return result;
    }

    void checkRange(std::string_view name, long long value, long long smallest, long long largest) const
    {
        if (value < smallest || value > largest) {
            fail(m_line, std::string("'").append(name).append("' value ") + std::to_string(value) + " is outside " + std::to_string(smallest) + ".." + std::to_string(largest));
        }
    }

    std::vector<Attribute> m_attributes;
    std::vector<bool> m_taken = std::vector<bool>(m_attributes.size());
    int m_line;
    std::string m_owner;
};

struct KindName {
    const char* name;
    Kind kind;
};

constexpr KindName kKindNames[] = {
    { "user-pane", Kind::UserPane },
    { "static-text", Kind::StaticText },
    { "edit-text", Kind::EditText },
    { "popup-button", Kind::PopupButton },
    { "radio-button", Kind::RadioButton },
    { "check-box", Kind::CheckBox },
    { "push-button", Kind::PushButton },
};

std::string kindName(Kind kind)
{
    for (const auto& entry : kKindNames) {
        if (entry.kind == kind)
            return entry.name;
    }
    return "control";
}

struct ClassName {
    const char* name;
    WindowClass windowClass;
};

constexpr ClassName kClassNames[] = {
    { "document", kDocumentWindowClass },
    { "movable-modal", kMovableModalWindowClass },
    { "modal", kModalWindowClass },
    { "alert", kAlertWindowClass },
    { "movable-alert", kMovableAlertWindowClass },
    { "floating", kFloatingWindowClass },
    { "sheet", kSheetWindowClass },
};

std::string describeID(const ControlID& id)
{
    std::string code;
    for (int shift = 24; shift >= 0; shift -= 8)
        code += static_cast<char>((id.signature >> shift) & 0xFF);
    return "'" + code + "'," + std::to_string(id.id);
}

class Reader {
public:
    Description read(std::string_view text)
    {
        if (text.size() > kMaximumFileSize)
            fail(0, "the file is larger than 1 MiB");
        if (text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
        if (int line = firstLineNotUTF8(text))
            fail(line, "the text is not valid UTF-8");

        int line = 0;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view content = text.substr(start, end - start);
            if (!content.empty() && content.back() == '\r')
                content.remove_suffix(1);
            readLine(content, ++line);
            start = end + 1;
        }
        if (m_open)
            fail(currentWindow().line, "window \"" + currentWindow().name + "\" is not closed with end");
        return std::move(m_description);
    }

private:
    // One open level of embedding: the window itself (control -1) or a control.
    struct Level {
        size_t indent;
        int control;
        // Every control directly inside a level stands at the same indentation.
        std::optional<size_t> childIndent;
    };

    Window& currentWindow() { return m_description.windows.back(); }

    void readLine(std::string_view text, int line)
    {
        if (text.find('\0') != std::string_view::npos)
            fail(line, "NUL byte in the text");
        size_t indent = 0;
        while (indent < text.size() && isBlank(text[indent]))
            ++indent;
        LineScanner scanner(text.substr(indent), line);
        if (scanner.atEnd())
            return;
        // A tab would make the embedding depend on the reader's tab width.
        if (text.substr(0, indent).find('\t') != std::string_view::npos)
            fail(line, "indent with spaces, not tabs");
        std::string keyword = scanner.word();
        if (keyword == "window")
            beginWindow(scanner, indent);
        else if (keyword == "control")
            addControl(scanner, indent);
        else if (keyword == "end")
            endWindow(scanner);
        else
            fail(line, "unknown keyword '" + keyword + "' (expected window, control or end)");
    }

    void beginWindow(LineScanner& scanner, size_t indent)
    {
        int line = scanner.line();
        if (m_open)
            fail(line, "window \"" + currentWindow().name + "\" (line " + std::to_string(currentWindow().line) + ") must be closed with end before the next window");
        scanner.skipBlanks();
        if (scanner.peek() != '"')
            fail(line, "a window needs a name in double quotes");
        Window window;
        window.name = scanner.string();
        window.line = line;
        if (window.name.empty())
            fail(line, "a window name cannot be empty");
        if (const Window* earlier = m_description.window(window.name))
            fail(line, "duplicate window name \"" + window.name + "\" (first on line " + std::to_string(earlier->line) + ")");

        AttributeSet attributes(scanner.attributes(), line, "a window");
        if (auto className = attributes.word("class")) {
            auto found = std::find_if(std::begin(kClassNames), std::end(kClassNames),
                [&](const ClassName& entry) { return entry.name == *className; });
            if (found == std::end(kClassNames))
                fail(line, "unknown window class '" + *className + "'");
            window.windowClass = found->windowClass;
        }
        window.bounds = attributes.bounds("bounds");
        window.title = attributes.string("title").value_or("");
        attributes.finish();

        m_description.windows.push_back(std::move(window));
        m_open = true;
        m_levels = { Level { indent, -1, std::nullopt } };
        m_ids.clear();
        m_defaultLine = m_cancelLine = 0;
    }

    void endWindow(LineScanner& scanner)
    {
        if (!m_open)
            fail(scanner.line(), "end without a window");
        if (!scanner.atEnd())
            fail(scanner.line(), "nothing may follow end on its line");
        m_open = false;
    }

    void addControl(LineScanner& scanner, size_t indent)
    {
        int line = scanner.line();
        if (!m_open)
            fail(line, "control outside a window");
        Window& window = currentWindow();
        Control control;
        control.line = line;
        control.parent = embedderFor(indent, line);

        std::string name = scanner.word();
        auto found = std::find_if(std::begin(kKindNames), std::end(kKindNames), [&](const KindName& entry) { return entry.name == name; });
        if (found == std::end(kKindNames))
            fail(line, "unknown control kind '" + name + "'");
        control.kind = found->kind;

        AttributeSet attributes(scanner.attributes(), line, "a " + name);
        readCommonAttributes(attributes, control);
        readKindAttributes(attributes, control);

        window.controls.push_back(std::move(control));
        m_levels.push_back(Level { indent, static_cast<int>(window.controls.size() - 1), std::nullopt });
    }

    // The index of the control that a control at this indentation goes into.
    int embedderFor(size_t indent, int line)
    {
        if (indent <= m_levels.front().indent)
            fail(line, "indent a control further than its window");
        while (m_levels.back().indent >= indent)
            m_levels.pop_back();
        Level& embedder = m_levels.back();
        if (!embedder.childIndent)
            embedder.childIndent = indent;
        else if (*embedder.childIndent != indent)
            fail(line, "the indentation does not line up with the controls before it");
        if (m_levels.size() > static_cast<size_t>(kMaximumNesting))
            fail(line, "controls are nested deeper than " + std::to_string(kMaximumNesting) + " levels");
        if (embedder.control >= 0) {
            const Control& container = currentWindow().controls[embedder.control];
            if (container.kind != Kind::UserPane) {
                fail(line, "only a user-pane can hold controls; line " + std::to_string(container.line) + " defines a " + kindName(container.kind));
            }
        }
        return embedder.control;
    }

    void readCommonAttributes(AttributeSet& attributes, Control& control)
    {
        control.id = attributes.controlID("id");
        if (control.id) {
            auto key = std::make_pair(control.id->signature, control.id->id);
            auto [earlier, added] = m_ids.emplace(key, control.line);
            if (!added)
                fail(control.line, "duplicate control id " + describeID(*control.id) + " (first on line " + std::to_string(earlier->second) + ")");
        }
        control.bounds = attributes.bounds("bounds");
        control.visible = attributes.boolean("visible").value_or(true);
        control.enabled = attributes.boolean("enabled").value_or(true);
        control.command = attributes.code("command").value_or(0);
    }

    void readKindAttributes(AttributeSet& attributes, Control& control)
    {
        switch (control.kind) {
        case Kind::UserPane:
            break;
        case Kind::StaticText:
        case Kind::EditText:
            control.text = attributes.string("text").value_or("");
            if (control.kind == Kind::EditText)
                control.password = attributes.flag("password");
            break;
        case Kind::PopupButton: {
            control.title = attributes.string("title").value_or("");
            control.items = attributes.strings("items");
            if (control.items.empty())
                fail(control.line, "a popup-button needs items=\"...\",\"...\"");
            const auto count = static_cast<long long>(control.items.size());
            control.value = static_cast<SInt32>(attributes.number("value", 1, count).value_or(1));
            for (long long item : attributes.numbers("hidden", 1, count))
                control.hiddenItems.push_back(static_cast<int>(item));
            break;
        }
        case Kind::RadioButton:
        case Kind::CheckBox:
            control.title = attributes.string("title").value_or("");
            control.value = static_cast<SInt32>(attributes.number("value", 0, 2).value_or(0));
            break;
        case Kind::PushButton:
            control.title = attributes.string("title").value_or("");
            control.isDefault = attributes.flag("default");
            control.isCancel = attributes.flag("cancel");
            if (control.isDefault && control.isCancel)
                fail(control.line, "a button cannot be both default and cancel");
            if (control.isDefault)
                claimButton(m_defaultLine, "default", control.line);
            if (control.isCancel)
                claimButton(m_cancelLine, "cancel", control.line);
            break;
        }
        bool showsText = control.kind == Kind::StaticText || control.kind == Kind::EditText;
        if (showsText && attributes.has("title"))
            attributes.finish(" (it shows text=\"...\")");
        if (!showsText && control.kind != Kind::UserPane && attributes.has("text"))
            attributes.finish(" (it shows title=\"...\")");
        attributes.finish();
    }

    void claimButton(int& claimedOn, const char* role, int line)
    {
        if (claimedOn)
            fail(line, "the window already has a " + std::string(role) + " button (line " + std::to_string(claimedOn) + ")");
        claimedOn = line;
    }

    Description m_description;
    bool m_open { false };
    std::vector<Level> m_levels;
    std::map<std::pair<OSType, SInt32>, int> m_ids;
    int m_defaultLine { 0 };
    int m_cancelLine { 0 };
};

}

ParseResult Parse(std::string_view text)
{
    ParseResult result;
    try {
        result.description = Reader().read(text);
    } catch (const Failure& failure) {
        result.error = Error { failure.line, failure.message };
    }
    return result;
}

}
