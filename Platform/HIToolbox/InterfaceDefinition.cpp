// The reader of interface-definition text: one line at a time, each either a window, a control,
// an end or a comment, building the description of the windows and their controls. The first
// fault stops the reading, so a file is used whole or not at all.
#include <HIToolbox/ControlKindsStandIn.h>
#include <HIToolbox/InterfaceDefinitionStandIn.h>

#include <HIToolbox/InterfaceDefinitionAttributes.h>

#include <Base/Unicode.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <map>
#include <utility>

namespace StandIn::InterfaceDefinition {

const Window* Description::window(std::string_view name) const
{
    auto found = std::find_if(windows.begin(), windows.end(), [name](const Window& w) { return w.name == name; });
    return found == windows.end() ? nullptr : &*found;
}

namespace {

// The line of the first byte sequence that is not UTF-8, or 0 when the text is valid.
int firstLineNotUTF8(std::string_view text)
{
    size_t invalid = StandIn::UTF8::firstInvalid(text);
    if (invalid == std::string_view::npos)
        return 0;
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(invalid), '\n'));
}

std::string kindName(OSType kind)
{
    const StandIn::ControlKindName* names = StandIn::controlKindOf(kind);
    return names ? names->name : "control";
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
        const StandIn::ControlKindName* found = StandIn::controlKindNamed(name);
        if (!found)
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
            if (container.kind != kControlKindUserPane) {
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
        case kControlKindStaticText:
        case kControlKindEditUnicodeText:
            control.text = attributes.string("text").value_or("");
            if (control.kind == kControlKindEditUnicodeText)
                control.password = attributes.flag("password");
            break;
        case kControlKindPopupButton: {
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
        case kControlKindRadioButton:
        case kControlKindCheckBox:
            control.title = attributes.string("title").value_or("");
            control.value = static_cast<SInt32>(attributes.number("value", 0, 2).value_or(0));
            break;
        case kControlKindPushButton:
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
        default:
            break;
        }
        bool showsText = control.kind == kControlKindStaticText || control.kind == kControlKindEditUnicodeText;
        if (showsText && attributes.has("title"))
            attributes.finish(" (it shows text=\"...\")");
        if (!showsText && control.kind != kControlKindUserPane && attributes.has("text"))
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

ParseResult parse(std::string_view text)
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
