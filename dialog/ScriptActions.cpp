#include "dialog/ScriptActions.h"

#include "dialog/ScreenModule.h"
#include "dialog/WindowControls.h"

#include <HIToolbox/UserActionsStandIn.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

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

WindowRef frontWindow(const ScriptScene& scene)
{
    return scene.prompt ? scene.prompt : scene.dialog.window();
}

bool paneAnswered(OSStatus status, std::string* error)
{
    if (status != noErr)
        *error = "the pane answered status " + std::to_string(status);
    return status == noErr;
}

// The control a line names by its number, in the prompt while it is up, else in the dialog. A
// person acts only on a pane they see: a line that acts on the dialog before "show" brings the
// pane to the front first, as the person would have, since its controls exist only once it is.
ControlRef namedControl(const ScriptScene& scene, const ScriptLine& line, const std::string& number, std::string* error)
{
    long value = 0;
    if (!parseNumber(number, INT32_MIN, INT32_MAX, &value)) {
        *error = "the control for \"" + line.action + "\" is not a number";
        return nullptr;
    }
    if (!scene.prompt && !scene.dialog.paneShown() && !paneAnswered(scene.dialog.showPane(), error))
        return nullptr;
    ControlRef found = findControlByNumber(frontWindow(scene), static_cast<SInt32>(value));
    if (!found)
        *error = "no control " + std::to_string(value) + (scene.prompt ? " in the prompt" : " in the Accounting pane");
    return found;
}

bool show(ScriptScene& scene, const ScriptLine&, std::string* error)
{
    return paneAnswered(scene.dialog.showPane(), error);
}

bool hide(ScriptScene& scene, const ScriptLine&, std::string* error)
{
    return paneAnswered(scene.dialog.hidePane(), error);
}

bool choose(ScriptScene& scene, const ScriptLine& line, std::string* error)
{
    long item = 0;
    if (!parseNumber(line.arguments[1], 1, 65535, &item)) {
        *error = "the item for \"choose\" is not a number from 1 to 65535";
        return false;
    }
    ControlRef popup = namedControl(scene, line, line.arguments[0], error);
    return popup && StandIn::choosePopupItem(popup, static_cast<MenuItemIndex>(item), error) == noErr;
}

bool click(ScriptScene& scene, const ScriptLine& line, std::string* error)
{
    ControlRef target = namedControl(scene, line, line.arguments[0], error);
    return target && StandIn::clickControl(target, error) == noErr;
}

bool type(ScriptScene& scene, const ScriptLine& line, std::string* error)
{
    ControlRef field = namedControl(scene, line, line.arguments[0], error);
    // The error never repeats the text: it may be a concealed code.
    return field && clickIntoField(field, error) && StandIn::typeText(GetControlOwner(field), line.arguments[1], error) == noErr;
}

bool key(ScriptScene& scene, const ScriptLine& line, std::string* error)
{
    static const std::pair<const char*, StandIn::Key> keys[] = { { "backspace", StandIn::Key::Backspace }, { "delete", StandIn::Key::Delete },
        { "left", StandIn::Key::LeftArrow }, { "right", StandIn::Key::RightArrow }, { "up", StandIn::Key::UpArrow }, { "down", StandIn::Key::DownArrow },
        { "tab", StandIn::Key::Tab }, { "return", StandIn::Key::Return } };
    auto named = std::find_if(std::begin(keys), std::end(keys), [&](const auto& entry) { return line.arguments[1] == entry.first; });
    if (named == std::end(keys)) {
        *error = "no such key: the keys are backspace, delete, left, right, up, down, tab and return";
        return false;
    }
    ControlRef field = namedControl(scene, line, line.arguments[0], error);
    return field && clickIntoField(field, error) && StandIn::pressKey(GetControlOwner(field), named->second, error) == noErr;
}

bool select(ScriptScene& scene, const ScriptLine& line, std::string* error)
{
    long start = 0;
    long end = 0;
    if (!parseNumber(line.arguments[1], 0, INT16_MAX, &start) || !parseNumber(line.arguments[2], 0, INT16_MAX, &end)) {
        *error = "a selection runs between two byte offsets from 0";
        return false;
    }
    ControlRef field = namedControl(scene, line, line.arguments[0], error);
    return field && StandIn::selectRange(field, static_cast<int>(start), static_cast<int>(end), error) == noErr;
}

bool print(ScriptScene& scene, const ScriptLine&, std::string* error)
{
    PrintClick click = scene.dialog.clickPrint(error);
    if (!scene.failureInsideClick.empty())
        return false;
    switch (click) {
    case PrintClick::Failed:
        return false;
    case PrintClick::NotPrinted:
        scene.transcript.notPrinted();
        return true;
    case PrintClick::Printed:
        if (scene.printedLine == PrintedLine::Written)
            scene.transcript.printed();
        scene.outcome = DialogOutcome::Printed;
        return true;
    }
    return true;
}

bool cancel(ScriptScene& scene, const ScriptLine&, std::string* error)
{
    if (!scene.dialog.clickCancel(error))
        return false;
    scene.transcript.cancelled();
    scene.outcome = DialogOutcome::Cancelled;
    return true;
}

// The queue's stored settings go once the dialog has gone, at the program's hands, which say so.
bool forget(ScriptScene& scene, const ScriptLine&, std::string* error)
{
    if (!scene.dialog.clickForget(error))
        return false;
    scene.outcome = DialogOutcome::Forgotten;
    return true;
}

bool help(ScriptScene& scene, const ScriptLine&, std::string* error)
{
    ControlRef button = scene.prompt ? findControlByCommand(scene.prompt, kPromptHelpCommand) : scene.dialog.helpButton();
    if (!button) {
        *error = "the prompt has no Help button";
        return false;
    }
    return StandIn::clickControl(button, error) == noErr;
}

bool summary(ScriptScene& scene, const ScriptLine&, std::string* error)
{
    std::string title;
    std::string text;
    if (OSStatus status = scene.dialog.summary(&title, &text)) {
        *error = "the pane gave no summary (status " + std::to_string(status) + ")";
        return false;
    }
    scene.transcript.summary(title, text);
    return true;
}

bool preset(ScriptScene& scene, const ScriptLine& line, std::string* error)
{
    std::string problem;
    if (OSStatus status = scene.dialog.preset(line.arguments[0], &problem)) {
        *error = problem.empty() ? "the pane could not read the settings (status " + std::to_string(status) + ")" : problem;
        return false;
    }
    return true;
}

bool snapshot(ScriptScene& scene, const ScriptLine& line, std::string* error)
{
    return snapshotFrontWindow(scene.dialog, scene.prompt, line.arguments[0], error);
}

bool dump(ScriptScene& scene, const ScriptLine&, std::string*)
{
    scene.transcript.dump(frontWindow(scene));
    return true;
}

// What an action acts on: the front window (the prompt while it is up), or the Print dialog,
// which the prompt keeps out of reach.
enum class Reach {
    FrontWindow,
    DialogOnly,
};

struct ScriptAction {
    const char* name;
    // The words after the name, as the usage names them.
    const char* words;
    Reach reach;
    bool (*perform)(ScriptScene& scene, const ScriptLine& line, std::string* error);
};

const ScriptAction kActions[] = {
    { "show", "", Reach::DialogOnly, show },
    { "hide", "", Reach::DialogOnly, hide },
    { "choose", "ID ITEM", Reach::FrontWindow, choose },
    { "click", "ID", Reach::FrontWindow, click },
    { "type", "ID TEXT", Reach::FrontWindow, type },
    { "key", "ID NAME", Reach::FrontWindow, key },
    { "select", "ID START END", Reach::FrontWindow, select },
    { "print", "", Reach::DialogOnly, print },
    { "cancel", "", Reach::DialogOnly, cancel },
    { "forget", "", Reach::DialogOnly, forget },
    { "help", "", Reach::FrontWindow, help },
    { "summary", "", Reach::DialogOnly, summary },
    { "preset", "FILE", Reach::DialogOnly, preset },
    { "snapshot", "FILE", Reach::FrontWindow, snapshot },
    { "dump", "", Reach::FrontWindow, dump },
};

size_t wordCount(const std::string& words)
{
    return words.empty() ? 0 : static_cast<size_t>(std::count(words.begin(), words.end(), ' ')) + 1;
}

std::string actionNames()
{
    std::string names;
    for (size_t i = 0; i < std::size(kActions); ++i)
        names += (i == 0 ? "" : i + 1 == std::size(kActions) ? " and "
                                                             : ", ")
            + std::string(kActions[i].name);
    return names;
}

}

bool performScriptAction(ScriptScene& scene, const ScriptLine& line, std::string* error)
{
    auto action = std::find_if(std::begin(kActions), std::end(kActions), [&](const ScriptAction& known) { return line.action == known.name; });
    if (action == std::end(kActions)) {
        *error = "unknown action: the actions are " + actionNames();
        return false;
    }
    if (action->reach == Reach::DialogOnly && scene.prompt) {
        *error = "\"" + line.action + "\" acts on the Print dialog, which is behind the prompt";
        return false;
    }
    if (line.arguments.size() != wordCount(action->words)) {
        *error = "usage: " + line.action + (*action->words ? " " : "") + action->words;
        return false;
    }
    return action->perform(scene, line, error);
}
