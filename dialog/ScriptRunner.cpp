#include "ScriptRunner.h"

#include "ScreenFrontEnd.h"

#include <HIToolbox/HIToolboxStandIn.h>
#include <HIToolbox/HIUserActions.h>

#include <CoreFoundation/CFStringPrivate.h>

#include <climits>
#include <cstdlib>
#include <functional>

namespace {

enum {
    kPromptHelpCommand = 'Mhlp',
    kAccountingSignature = 'MVRa',
};

bool parseNumber(const std::string& text, long minimum, long maximum, long* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long parsed = strtol(text.c_str(), &end, 10);
    if (errno || *end || parsed < minimum || parsed > maximum)
        return false;
    *value = parsed;
    return true;
}

const char* kindName(ControlRef control)
{
    ControlKind kind = {};
    GetControlKind(control, &kind);
    switch (kind.kind) {
    case kControlKindUserPane: return "user-pane";
    case kControlKindStaticText: return "static-text";
    case kControlKindEditText:
    case kControlKindEditUnicodeText: return "edit-text";
    case kControlKindPopupButton: return "popup-button";
    case kControlKindRadioButton: return "radio-button";
    case kControlKindCheckBox: return "check-box";
    case kControlKindPushButton: return "push-button";
    default: return "control";
    }
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default: out += c; break;
        }
    }
    return out + "\"";
}

std::string stringOf(CFStringRef string)
{
    std::string text = _CFStringToUTF8(string);
    if (string)
        CFRelease(string);
    return text;
}

// What a person reads on a control: a field's text (a concealed one only by its length), a
// button's title, a popup's chosen item.
std::string shownText(ControlRef control)
{
    ControlKind kind = {};
    GetControlKind(control, &kind);
    if (kind.kind == kControlKindEditUnicodeText || kind.kind == kControlKindEditText || kind.kind == kControlKindStaticText) {
        Size size = 0;
        if (GetControlData(control, kControlEntireControl, kControlEditTextPasswordTag, 0, nullptr, &size) == noErr) {
            CFStringRef clear = nullptr;
            GetControlData(control, kControlEntireControl, kControlEditTextPasswordCFStringTag, sizeof clear, &clear, nullptr);
            CFIndex length = CFStringGetLength(clear);
            if (clear)
                CFRelease(clear);
            return "(concealed, " + std::to_string(length) + " characters)";
        }
        std::string text(0, '\0');
        GetControlData(control, kControlEntireControl, kControlEditTextTextTag, 0, nullptr, &size);
        text.resize(size);
        GetControlData(control, kControlEntireControl, kControlEditTextTextTag, size, text.data(), &size);
        return quoted(text);
    }
    if (kind.kind == kControlKindPopupButton) {
        MenuRef menu = nullptr;
        GetControlData(control, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr);
        CFStringRef item = nullptr;
        CopyMenuItemTextAsCFString(menu, static_cast<MenuItemIndex>(GetControl32BitValue(control)), &item);
        return quoted(stringOf(item));
    }
    if (kind.kind == kControlKindUserPane)
        return "";
    CFStringRef title = nullptr;
    CopyControlTitleAsCFString(control, &title);
    return quoted(stringOf(title));
}

void forEachControl(ControlRef control, const std::function<void(ControlRef)>& visit)
{
    UInt16 count = 0;
    CountSubControls(control, &count);
    for (UInt16 i = 1; i <= count; ++i) {
        ControlRef child = nullptr;
        GetIndexedSubControl(control, i, &child);
        visit(child);
        forEachControl(child, visit);
    }
}

ControlRef controlWithCommand(WindowRef window, UInt32 command)
{
    ControlRef root = nullptr;
    GetRootControl(window, &root);
    ControlRef found = nullptr;
    forEachControl(root, [&](ControlRef control) {
        UInt32 own = 0;
        GetControlCommandID(control, &own);
        if (!found && own == command)
            found = control;
    });
    return found;
}

}

ScriptRunner::ScriptRunner(PrintDialog& dialog, ScriptSource& script, std::ostream& transcript, bool announcePrinted)
    : m_dialog(dialog)
    , m_script(script)
    , m_transcript(transcript)
    , m_previousSource(HIGetInputSource())
    , m_announcePrinted(announcePrinted)
{
    HISetInputSource(this);
}

ScriptRunner::~ScriptRunner()
{
    HISetInputSource(m_previousSource);
}

DialogOutcome ScriptRunner::run()
{
    for (;;) {
        Step step = this->step(nullptr);
        if (step == Step::Failed) {
            m_dialog.dismiss();
            return DialogOutcome::Failed;
        }
        if (step == Step::EndOfScript)
            return m_outcome;
        if (m_outcome != DialogOutcome::LeftOpen)
            break;
    }
    // The dialog is gone: anything the script still asks for cannot be done.
    Step after = step(nullptr);
    if (after == Step::Done)
        m_error = "line " + std::to_string(m_lineNumber) + ": the Print dialog has closed";
    return after == Step::EndOfScript ? m_outcome : DialogOutcome::Failed;
}

ScriptRunner::Step ScriptRunner::step(WindowRef modalWindow)
{
    for (;;) {
        std::string text;
        std::string problem;
        ScriptSource::Read read = m_script.nextLine(text, &problem);
        if (read == ScriptSource::Read::End)
            return Step::EndOfScript;
        ++m_lineNumber;
        std::optional<ScriptLine> line;
        if (read == ScriptSource::Read::Line)
            line = parseScriptLine(text, m_lineNumber, &problem);
        if (!line) {
            m_error = "line " + std::to_string(m_lineNumber) + ": " + problem;
            return Step::Failed;
        }
        if (line->action.empty())
            continue;
        if (m_outcome != DialogOutcome::LeftOpen)
            return Step::Done;
        bool performed = perform(*line, modalWindow);
        // Whoever feeds the script through a pipe reads what each action did before the next.
        m_transcript.flush();
        return performed ? Step::Done : Step::Failed;
    }
}

bool ScriptRunner::fail(const ScriptLine& line, const std::string& message)
{
    m_error = "line " + std::to_string(line.number) + ": " + message;
    return false;
}

ControlRef ScriptRunner::control(const ScriptLine& line, const std::string& number, WindowRef modalWindow)
{
    long value = 0;
    if (!parseNumber(number, INT32_MIN, INT32_MAX, &value)) {
        fail(line, "the control for \"" + line.action + "\" is not a number");
        return nullptr;
    }
    WindowRef window = modalWindow ? modalWindow : m_dialog.window();
    ControlRef found = nullptr;
    const ControlID controlID = { kAccountingSignature, static_cast<SInt32>(value) };
    if (GetControlByID(window, &controlID, &found) != noErr) {
        fail(line, "no control " + std::to_string(value) + (modalWindow ? " in the prompt" : " in the Accounting pane"));
        return nullptr;
    }
    return found;
}

bool ScriptRunner::focus(ControlRef field, std::string* error)
{
    ControlRef focused = nullptr;
    GetKeyboardFocus(GetControlOwner(field), &focused);
    return focused == field || HIUserClickControl(field, error) == noErr;
}

bool ScriptRunner::clickPrint(const ScriptLine& line)
{
    std::string error;
    PrintClick click = m_dialog.clickPrint(&error);
    m_announcedPrompt = nullptr;
    // A script line inside the prompt may have failed: that error is the one to report.
    if (!m_error.empty())
        return false;
    switch (click) {
    case PrintClick::Failed:
        return fail(line, error);
    case PrintClick::NotPrinted:
        m_transcript << "not printed\n";
        return true;
    case PrintClick::Printed:
        if (m_announcePrinted)
            m_transcript << "printed\n";
        m_outcome = DialogOutcome::Printed;
        return true;
    }
    return true;
}

bool ScriptRunner::perform(const ScriptLine& line, WindowRef modalWindow)
{
    // No message repeats a word of the line beyond a known action's name: a word in the wrong
    // place may well be a code.
    const std::string& action = line.action;
    const auto& arguments = line.arguments;
    auto expect = [&](size_t count, const char* usage) {
        if (arguments.size() == count)
            return true;
        return fail(line, std::string("usage: ") + usage);
    };
    bool dialogAction = action == "show" || action == "hide" || action == "print" || action == "cancel" || action == "summary"
        || action == "preset";
    if (dialogAction && modalWindow)
        return fail(line, "\"" + action + "\" acts on the Print dialog, which is behind the prompt");
    std::string error;

    if (action == "show" || action == "hide") {
        if (!expect(0, action.c_str()))
            return false;
        OSStatus status = action == "show" ? m_dialog.showPane() : m_dialog.hidePane();
        return status == noErr || fail(line, "the pane answered status " + std::to_string(status));
    }
    if (action == "choose") {
        long item = 0;
        if (!expect(2, "choose ID ITEM"))
            return false;
        if (!parseNumber(arguments[1], 1, 65535, &item))
            return fail(line, "the item for \"choose\" is not a number from 1 to 65535");
        ControlRef popup = control(line, arguments[0], modalWindow);
        return popup && (HIUserChoosePopupItem(popup, static_cast<MenuItemIndex>(item), &error) == noErr || fail(line, error));
    }
    if (action == "click") {
        if (!expect(1, "click ID"))
            return false;
        ControlRef target = control(line, arguments[0], modalWindow);
        return target && (HIUserClickControl(target, &error) == noErr || fail(line, error));
    }
    if (action == "type") {
        if (!expect(2, "type ID TEXT"))
            return false;
        ControlRef field = control(line, arguments[0], modalWindow);
        if (!field)
            return false;
        // The error never repeats the text: it may be a concealed code.
        if (!focus(field, &error) || HIUserTypeText(GetControlOwner(field), arguments[1], &error) != noErr)
            return fail(line, error);
        return true;
    }
    if (action == "key") {
        static const std::pair<const char*, HIKey> keys[] = { { "backspace", HIKey::Backspace }, { "delete", HIKey::Delete },
            { "left", HIKey::LeftArrow }, { "right", HIKey::RightArrow }, { "up", HIKey::UpArrow }, { "down", HIKey::DownArrow },
            { "tab", HIKey::Tab }, { "return", HIKey::Return } };
        if (!expect(2, "key ID NAME"))
            return false;
        auto key = std::find_if(std::begin(keys), std::end(keys), [&](const auto& entry) { return arguments[1] == entry.first; });
        if (key == std::end(keys))
            return fail(line, "no such key: the keys are backspace, delete, left, right, up, down, tab and return");
        ControlRef field = control(line, arguments[0], modalWindow);
        if (!field)
            return false;
        if (!focus(field, &error) || HIUserPressKey(GetControlOwner(field), key->second, &error) != noErr)
            return fail(line, error);
        return true;
    }
    if (action == "select") {
        long start = 0;
        long end = 0;
        if (!expect(3, "select ID START END"))
            return false;
        if (!parseNumber(arguments[1], 0, INT16_MAX, &start) || !parseNumber(arguments[2], 0, INT16_MAX, &end))
            return fail(line, "a selection runs between two byte offsets from 0");
        ControlRef field = control(line, arguments[0], modalWindow);
        return field && (HIUserSelectRange(field, static_cast<int>(start), static_cast<int>(end), &error) == noErr || fail(line, error));
    }
    if (action == "print")
        return expect(0, "print") && clickPrint(line);
    if (action == "cancel") {
        if (!expect(0, "cancel"))
            return false;
        if (!m_dialog.clickCancel(&error))
            return fail(line, error);
        m_transcript << "cancelled\n";
        m_outcome = DialogOutcome::Cancelled;
        return true;
    }
    if (action == "help") {
        if (!expect(0, "help"))
            return false;
        ControlRef button = modalWindow ? controlWithCommand(modalWindow, kPromptHelpCommand) : m_dialog.helpButton();
        if (!button)
            return fail(line, "the prompt has no Help button");
        return HIUserClickControl(button, &error) == noErr || fail(line, error);
    }
    if (action == "summary") {
        if (!expect(0, "summary"))
            return false;
        std::string title;
        std::string text;
        if (OSStatus status = m_dialog.summary(&title, &text))
            return fail(line, "the pane gave no summary (status " + std::to_string(status) + ")");
        m_transcript << "summary: " << title << " = " << text << "\n";
        return true;
    }
    if (action == "preset") {
        if (!expect(1, "preset FILE"))
            return false;
        if (OSStatus status = m_dialog.preset(arguments[0], &error))
            return fail(line, error.empty() ? "the pane could not read the settings (status " + std::to_string(status) + ")" : error);
        return true;
    }
    if (action == "snapshot") {
        if (!expect(1, "snapshot FILE"))
            return false;
        return snapshot(arguments[0], modalWindow, &error) || fail(line, error);
    }
    if (action == "dump") {
        if (!expect(0, "dump"))
            return false;
        dump(modalWindow ? modalWindow : m_dialog.window());
        return true;
    }
    return fail(line, "unknown action: the actions are show, hide, choose, click, type, key, select, print, cancel, help, summary, "
                      "preset, snapshot and dump");
}

bool ScriptRunner::snapshot(const std::string& path, WindowRef modalWindow, std::string* error)
{
    if (!m_dialog.isOpen()) {
        *error = "there is no dialog left to picture";
        return false;
    }
    const ScreenFrontEnd* frontEnd = loadScreenFrontEnd(error);
    return frontEnd && frontEnd->snapshot(modalWindow ? modalWindow : m_dialog.window(), path, error);
}

void ScriptRunner::dump(WindowRef window)
{
    ControlRef root = nullptr;
    GetRootControl(window, &root);
    forEachControl(root, [this](ControlRef control) {
        ControlID controlID = {};
        GetControlID(control, &controlID);
        Rect bounds = {};
        GetControlBounds(control, &bounds);
        std::string number = controlID.signature == kAccountingSignature ? std::to_string(controlID.id) : "-";
        m_transcript << "control " << number << " " << kindName(control) << " " << (IsControlVisible(control) ? "visible" : "hidden") << " "
                     << (IsControlEnabled(control) ? "enabled" : "disabled") << " " << GetControl32BitValue(control) << " " << bounds.top
                     << "," << bounds.left << "," << bounds.bottom << "," << bounds.right;
        std::string text = shownText(control);
        if (!text.empty())
            m_transcript << " " << text;
        m_transcript << "\n";
    });
}

bool ScriptRunner::performNextAction(WindowRef modalWindow)
{
    if (modalWindow != m_announcedPrompt) {
        m_announcedPrompt = modalWindow;
        m_transcript << "prompt: " << HIGetWindowDefinitionName(modalWindow) << "\n";
    }
    if (!m_error.empty())
        return false;
    Step step = this->step(modalWindow);
    if (step == Step::EndOfScript)
        m_error = "line " + std::to_string(m_lineNumber) + ": the script ends while the prompt is up";
    return step == Step::Done;
}

void ScriptRunner::showAlert(const HIAlertContent& alert)
{
    m_transcript << "alert: " << alert.text << "\n";
}

void ScriptRunner::showNotice(const HINoticeContent& notice)
{
    m_transcript << "notice: " << notice.header << ": " << notice.message << "\n";
}

void ScriptRunner::beep()
{
    m_transcript << "beep\n";
}

void ScriptRunner::openHelpPage(const HIHelpPage& page)
{
    m_transcript << "help: " << page.book << " " << page.page << (page.anchor.empty() ? "" : "#" + page.anchor) << "\n";
}
