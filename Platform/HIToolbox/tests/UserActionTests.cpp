#include "tests/support/LiveObjects.h"
#include "tests/support/RecordingInputSource.h"

#include <HIToolbox/HIToolbox.h>
#include <HIToolbox/UserActionsStandIn.h>

#include <string>
#include <vector>

namespace {

// A shown dialog with two edit fields, a check box, a popup, an OK button that is the default
// button and carries a command, and a recorder of the events that reach the window.
class UserActionTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        const Rect bounds = { 50, 50, 250, 450 };
        CreateNewWindow(kMovableModalWindowClass, 0, &bounds, &window);
        first = makeField(1, { 10, 10, 32, 200 });
        second = makeField(2, { 40, 10, 62, 200 });
        const Rect boxBounds = { 70, 10, 88, 200 };
        CreateCheckBoxControl(window, &boxBounds, CFSTR("Hide"), 0, false, &checkBox);
        const Rect popupBounds = { 96, 10, 116, 200 };
        CreatePopupButtonControl(window, &popupBounds, CFSTR("Type"), 0, false, 0, 0, 0, &popup);
        MenuRef menu = nullptr;
        CreateNewMenu(0, 0, &menu);
        for (const char* item : { "One", "Two", "Three" }) {
            CFStringRef text = CFStringCreateWithCString(kCFAllocatorDefault, item, kCFStringEncodingUTF8);
            AppendMenuItemTextWithCFString(menu, text, 0, 0, nullptr);
            CFRelease(text);
        }
        ChangeMenuItemAttributes(menu, 2, kMenuItemAttrHidden, 0);
        SetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu);
        ReleaseMenu(menu);
        const Rect okBounds = { 160, 300, 180, 380 };
        CreatePushButtonControl(window, &okBounds, CFSTR("OK"), &okButton);
        SetControlCommandID(okButton, 'ok  ');
        SetWindowDefaultButton(window, okButton);

        static const EventTypeSpec watched[] = {
            { kEventClassControl, kEventControlHit },
            { kEventClassKeyboard, kEventRawKeyUp },
            { kEventClassCommand, kEventCommandProcess },
        };
        InstallEventHandler(GetWindowEventTarget(window), record, 3, watched, this, nullptr);
        ShowWindow(window);
    }

    void TearDown() override
    {
        DisposeWindow(window);
        BalancedTest::TearDown();
    }

    ControlRef makeField(SInt32 number, Rect bounds)
    {
        ControlRef field = nullptr;
        CreateEditTextControl(window, &bounds, CFSTR(""), false, false, nullptr, &field);
        const ControlID controlID = { 'test', number };
        SetControlID(field, &controlID);
        return field;
    }

    static OSStatus record(EventHandlerCallRef, EventRef event, void* userData)
    {
        auto* test = static_cast<UserActionTest*>(userData);
        switch (GetEventClass(event)) {
        case kEventClassControl: {
            ControlRef hit = nullptr;
            GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof hit, nullptr, &hit);
            test->events.push_back(hit == test->okButton ? "hit ok" : "hit");
            break;
        }
        case kEventClassKeyboard: {
            char charCode = 0;
            GetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, nullptr, sizeof charCode, nullptr, &charCode);
            test->events.push_back("key up " + std::to_string(static_cast<unsigned char>(charCode)));
            break;
        }
        case kEventClassCommand: {
            HICommand command = {};
            GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
            test->events.push_back(command.commandID == 'ok  ' ? "command ok" : "command");
            break;
        }
        }
        return eventNotHandledErr;
    }

    static std::string textOf(ControlRef field)
    {
        char text[256];
        Size size = 0;
        GetControlData(field, kControlEntireControl, kControlEditTextTextTag, sizeof text, text, &size);
        return std::string(text, std::min<Size>(size, sizeof text));
    }

    static ControlEditTextSelectionRec selectionOf(ControlRef field)
    {
        ControlEditTextSelectionRec selection = { -1, -1 };
        GetControlData(field, kControlEntireControl, kControlEditTextSelectionTag, sizeof selection, &selection, nullptr);
        return selection;
    }

    void press(StandIn::Key key) { ASSERT_EQ(StandIn::pressKey(window, key, nullptr), noErr); }

    WindowRef window { nullptr };
    ControlRef first { nullptr };
    ControlRef second { nullptr };
    ControlRef checkBox { nullptr };
    ControlRef popup { nullptr };
    ControlRef okButton { nullptr };
    std::vector<std::string> events;
};

TEST_F(UserActionTest, TypingInsertsAtTheCaretAndEveryKeyEndsWithAKeyUp)
{
    ASSERT_EQ(StandIn::clickControl(first, nullptr), noErr);
    ASSERT_EQ(StandIn::typeText(window, "ab\xC3\xA9", nullptr), noErr);
    EXPECT_EQ(textOf(first), "ab\xC3\xA9");
    const std::vector<std::string> expected = { "hit", "key up 97", "key up 98", "key up 233" };
    EXPECT_EQ(events, expected);
}

TEST_F(UserActionTest, EditingKeysWorkOnWholeCharactersAndTheSelection)
{
    StandIn::clickControl(first, nullptr);
    StandIn::typeText(window, "x\xE2\x82\xACyz", nullptr);
    press(StandIn::Key::LeftArrow);
    press(StandIn::Key::LeftArrow);
    press(StandIn::Key::Backspace);
    EXPECT_EQ(textOf(first), "xyz") << "Backspace removes the whole three-byte character";
    press(StandIn::Key::Delete);
    EXPECT_EQ(textOf(first), "xz");
    press(StandIn::Key::UpArrow);
    StandIn::typeText(window, ">", nullptr);
    press(StandIn::Key::DownArrow);
    StandIn::typeText(window, "<", nullptr);
    EXPECT_EQ(textOf(first), ">xz<");

    ASSERT_EQ(StandIn::selectRange(first, 1, 3, nullptr), noErr);
    EXPECT_EQ(selectionOf(first).selStart, 1);
    EXPECT_EQ(selectionOf(first).selEnd, 3);
    StandIn::typeText(window, "Q", nullptr);
    EXPECT_EQ(textOf(first), ">Q<");
    StandIn::selectRange(first, 0, 3, nullptr);
    press(StandIn::Key::Delete);
    EXPECT_EQ(textOf(first), "");
}

TEST_F(UserActionTest, SelectionsSnapToCharacterBoundaries)
{
    SetControlData(first, kControlEntireControl, kControlEditTextTextTag, 4, "a\xE2\x82\xAC");
    StandIn::selectRange(first, 2, 9, nullptr);
    EXPECT_EQ(selectionOf(first).selStart, 1);
    EXPECT_EQ(selectionOf(first).selEnd, 4);
}

TEST_F(UserActionTest, TabMovesTheFocusAndReturnClicksTheDefaultButton)
{
    StandIn::clickControl(first, nullptr);
    events.clear();
    StandIn::typeText(window, "1\t2", nullptr);
    EXPECT_EQ(textOf(first), "1");
    EXPECT_EQ(textOf(second), "2");
    press(StandIn::Key::Return);
    const std::vector<std::string> expected = { "key up 49", "key up 9", "key up 50", "hit ok", "command ok", "key up 13" };
    EXPECT_EQ(events, expected);
}

ControlKeyFilterResult refuseDigits(ControlRef, SInt16*, SInt16* charCode, EventModifiers*)
{
    return (*charCode >= '0' && *charCode <= '9') ? kControlKeyFilterBlockKey : kControlKeyFilterPassKey;
}

TEST_F(UserActionTest, TheKeyFilterDecidesEachKeyAndTheKeyUpComesEitherWay)
{
    ControlKeyFilterUPP filter = NewControlKeyFilterUPP(refuseDigits);
    SetControlData(first, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof filter, &filter);
    StandIn::clickControl(first, nullptr);
    events.clear();
    StandIn::typeText(window, "a1b", nullptr);
    EXPECT_EQ(textOf(first), "ab");
    const std::vector<std::string> expected = { "key up 97", "key up 49", "key up 98" };
    EXPECT_EQ(events, expected);
}

TEST_F(UserActionTest, ClicksChangeValuesAsAUsersClickDoes)
{
    StandIn::clickControl(checkBox, nullptr);
    EXPECT_EQ(GetControlValue(checkBox), 1);
    StandIn::clickControl(checkBox, nullptr);
    EXPECT_EQ(GetControlValue(checkBox), 0);
    ASSERT_EQ(StandIn::choosePopupItem(popup, 3, nullptr), noErr);
    EXPECT_EQ(GetControlValue(popup), 3);
}

OSStatus takeTheHit(EventHandlerCallRef, EventRef, void*)
{
    return noErr;
}

TEST_F(UserActionTest, AButtonsCommandGoesOutOnlyWhenNoHandlerTookTheHit)
{
    StandIn::clickControl(okButton, nullptr);
    static const EventTypeSpec hit = { kEventClassControl, kEventControlHit };
    InstallEventHandler(GetControlEventTarget(okButton), takeTheHit, 1, &hit, nullptr, nullptr);
    StandIn::clickControl(okButton, nullptr);
    const std::vector<std::string> expected = { "hit ok", "command ok" };
    EXPECT_EQ(events, expected);
}

TEST_F(UserActionTest, ActionsAPersonCouldNotTakeAreRefusedWithAReason)
{
    struct Case {
        const char* name;
        OSStatus status;
        const char* reason;
    };
    std::string error;
    std::vector<Case> cases;
    auto attempt = [&](const char* name, OSStatus status, const char* reason) {
        cases.push_back({ name, status, reason });
        EXPECT_EQ(status, StandIn::kUserActionRefusedErr) << name;
        EXPECT_NE(error.find(reason), std::string::npos) << name << ": " << error;
        error.clear();
    };

    attempt("typing without focus", StandIn::typeText(window, "a", &error), "focus");
    attempt("hidden item", StandIn::choosePopupItem(popup, 2, &error), "hidden");
    attempt("missing item", StandIn::choosePopupItem(popup, 9, &error), "no item 9");
    DisableControl(checkBox);
    attempt("disabled control", StandIn::clickControl(checkBox, &error), "disabled");
    HideControl(second);
    attempt("hidden field", StandIn::selectRange(second, 0, 0, &error), "hidden");
    StandIn::clickControl(first, nullptr);
    attempt("bytes that are not text", StandIn::typeText(window, "\xFF", &error), "UTF-8");
    HideWindow(window);
    attempt("window not shown", StandIn::clickControl(okButton, &error), "not shown");
    ShowWindow(window);
    EXPECT_EQ(GetControlValue(checkBox), 0);
    EXPECT_EQ(GetControlValue(popup), 1);
}

TEST_F(UserActionTest, AModalLoopTakesActionsForItsWindowAloneAndEndsWhenTheyRunOut)
{
    RecordingInputSource input;
    WindowRef prompt = nullptr;
    const Rect bounds = { 100, 100, 200, 300 };
    CreateNewWindow(kMovableModalWindowClass, 0, &bounds, &prompt);
    ControlRef done = nullptr;
    const Rect doneBounds = { 60, 100, 80, 180 };
    CreatePushButtonControl(prompt, &doneBounds, CFSTR("Done"), &done);
    ShowWindow(prompt);

    input.queue([&](WindowRef modal) {
        EXPECT_EQ(modal, prompt);
        std::string error;
        EXPECT_EQ(StandIn::clickControl(okButton, &error), StandIn::kUserActionRefusedErr);
        EXPECT_NE(error.find("modal"), std::string::npos) << error;
    });
    input.queue([&](WindowRef modal) { QuitAppModalLoopForWindow(modal); });
    input.queue([&](WindowRef modal) { QuitAppModalLoopForWindow(modal); });
    EXPECT_EQ(RunAppModalLoopForWindow(prompt), noErr);
    EXPECT_EQ(input.actionsLeft(), 1u) << "the loop took no action after it was quit";

    EXPECT_EQ(RunAppModalLoopForWindow(prompt), noErr);
    input.queue([](WindowRef) {});
    EXPECT_EQ(RunAppModalLoopForWindow(prompt), eventLoopTimedOutErr) << "no more actions: the loop ends";
    EXPECT_EQ(StandIn::clickControl(okButton, nullptr), noErr) << "after the loop the dialog takes clicks again";
    DisposeWindow(prompt);
}

TEST_F(UserActionTest, AlertsNoticesAndTheBeepReachTheInputSource)
{
    RecordingInputSource input;
    DialogRef alert = nullptr;
    ASSERT_EQ(CreateStandardAlert(kAlertStopAlert, CFSTR("Not printed."), nullptr, nullptr, &alert), noErr);
    DialogItemIndex itemHit = 0;
    EXPECT_EQ(RunStandardAlert(alert, nullptr, &itemHit), noErr);
    EXPECT_EQ(itemHit, kAlertStdAlertOKButton);
    CFUserNotificationDisplayNotice(0, kCFUserNotificationStopAlertLevel, nullptr, nullptr, nullptr, CFSTR("Accounting"),
        CFSTR("A code is missing."), nullptr);
    SysBeep(10);
    const std::vector<std::string> expected = { "alert: Not printed.", "notice: Accounting / A code is missing.", "beep" };
    EXPECT_EQ(input.events(), expected);
}

TEST_F(UserActionTest, AnInstalledSourceGivesTheKeyboardBackToTheOneBeforeIt)
{
    RecordingInputSource outer;
    {
        RecordingInputSource inner;
        EXPECT_EQ(StandIn::inputSource(), &inner);
        SysBeep(10);
        EXPECT_EQ(inner.beeps(), 1);
    }
    EXPECT_EQ(StandIn::inputSource(), &outer) << "the one before is back";
    SysBeep(10);
    EXPECT_EQ(outer.beeps(), 1);
}

TEST_F(UserActionTest, PasswordFieldsShowBulletsAndKeepTheClearText)
{
    ControlRef secret = nullptr;
    const Rect bounds = { 130, 10, 152, 200 };
    CreateEditTextControl(window, &bounds, CFSTR(""), true, false, nullptr, &secret);
    StandIn::clickControl(secret, nullptr);
    StandIn::typeText(window, "pw\xC3\xB8", nullptr);
    EXPECT_EQ(textOf(secret), "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2");
    char clear[16] = {};
    Size size = 0;
    ASSERT_EQ(GetControlData(secret, kControlEntireControl, kControlEditTextPasswordTag, sizeof clear, clear, &size), noErr);
    EXPECT_EQ(std::string(clear, size), "pw\xC3\xB8");
    CFStringRef string = nullptr;
    ASSERT_EQ(GetControlData(secret, kControlEntireControl, kControlEditTextPasswordCFStringTag, sizeof string, &string, nullptr), noErr);
    EXPECT_EQ(CFStringGetLength(string), 3);
    CFRelease(string);
    EXPECT_EQ(GetControlData(first, kControlEntireControl, kControlEditTextPasswordTag, sizeof clear, clear, &size), errDataNotSupported)
        << "a plain field has no password";
}

}
