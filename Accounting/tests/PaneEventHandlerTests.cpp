#include "Accounting/ControlState.h"
#include "Accounting/PaneEventHandler.h"
#include "Accounting/tests/PaneFixture.h"
#include "tests/support/RecordingInputSource.h"

#include <HIToolbox/UserActionsStandIn.h>

#include <cstring>
#include <string>

namespace {

class PaneEventHandlerTest : public PaneFixture {
protected:
    void SetUp() override
    {
        PaneFixture::SetUp();
        openDialog();
    }

    void show(SInt32 mode, SInt32 prompt)
    {
        context.acctEnabled = mode;
        context.prompt = prompt;
        SetControlValue(control(kAccountingPopupID), static_cast<SInt16>(mode));
        setControls(&context);
    }

    void click(SInt32 number)
    {
        std::string error;
        ASSERT_EQ(StandIn::clickControl(control(number), &error), noErr) << error;
    }

    void clickPrint()
    {
        std::string error;
        ASSERT_EQ(StandIn::clickControl(printButton, &error), noErr) << error;
    }

    void typeInto(SInt32 field, const std::string& text)
    {
        SetControlData(control(field), kControlEntireControl, kControlEditTextTextTag, static_cast<Size>(text.size()), text.data());
    }

    std::string fieldText(SInt32 field)
    {
        char text[128];
        Size size = 0;
        GetControlData(control(field), kControlEntireControl, kControlEditTextTextTag, sizeof text, text, &size);
        return std::string(text, std::min<Size>(size, sizeof text));
    }

    RecordingInputSource input;
};

TEST_F(PaneEventHandlerTest, PrintGoesThroughUntouchedWithAccountingOff)
{
    show(1, 0);
    clickPrint();
    EXPECT_EQ(printCount(), 1);

    for (SInt32 mode : { 0, -3 }) {
        context.acctEnabled = mode;
        clickPrint();
    }
    EXPECT_EQ(printCount(), 3);
    EXPECT_TRUE(input.events().empty());
}

TEST_F(PaneEventHandlerTest, PrintWithDefaultCodesCarriesThemToTheJob)
{
    show(3, 0);
    typeInto(kUserIDFieldID, "alice");
    typeInto(kAccountIDFieldID, "4711");

    clickPrint();

    EXPECT_EQ(printCount(), 1);
    EXPECT_STREQ(context.userID, "alice");
    EXPECT_STREQ(context.acctID, "4711");
    EXPECT_STREQ(context.defUserID, "alice");
    EXPECT_TRUE(input.events().empty());
}

TEST_F(PaneEventHandlerTest, MissingDefaultCodeStopsThePrintWithANotice)
{
    show(3, 0);
    strcpy(context.userID, "earlier");
    typeInto(kUserIDFieldID, "");
    typeInto(kAccountIDFieldID, "4711");

    clickPrint();

    EXPECT_EQ(printCount(), 0);
    ASSERT_EQ(input.events().size(), 1u);
    EXPECT_EQ(input.events()[0].rfind("notice: ", 0), 0u) << input.events()[0];
    EXPECT_STREQ(context.defAcctID, "4711") << "the other code is still taken from the pane";
    EXPECT_STREQ(context.userID, "earlier");
}

struct DefaultCodesCase {
    SInt32 mode;
    SInt32 accountType;
    bool accountIDNeeded;
};

// Only Talliant accounting without an account type lets a job go without an Account ID: there
// the pane disables the field. Everywhere else the field stands enabled and must be filled.
const DefaultCodesCase kDefaultCodesCases[] = {
    { 2, 1, false },
    { 2, 2, true },
    { 2, 3, true },
    { 2, 0, true },
    { 2, 4, true },
    { 3, 1, true },
    { 3, 2, true },
    { 4, 1, true },
    { 5, 3, true },
};

TEST_F(PaneEventHandlerTest, DefaultAccountIDMayBeEmptyExactlyWhereThePaneDisablesIt)
{
    for (const DefaultCodesCase& expected : kDefaultCodesCases) {
        SCOPED_TRACE("mode " + std::to_string(expected.mode) + ", account type " + std::to_string(expected.accountType));
        context.accountType = expected.accountType;
        show(expected.mode, 0);
        EXPECT_EQ(IsControlEnabled(control(kAccountIDFieldID)), expected.accountIDNeeded);
        typeInto(kUserIDFieldID, "bob");
        typeInto(kAccountIDFieldID, "");
        strcpy(context.acctID, "earlier");
        int printed = printCount();
        input.clear();

        clickPrint();

        if (expected.accountIDNeeded) {
            EXPECT_EQ(printCount(), printed) << "an empty Account ID stops the print";
            ASSERT_EQ(input.events().size(), 1u);
            EXPECT_EQ(input.events()[0].rfind("notice: ", 0), 0u) << input.events()[0];
            EXPECT_STREQ(context.acctID, "earlier");
        } else {
            EXPECT_EQ(printCount(), printed + 1);
            EXPECT_TRUE(input.events().empty());
            EXPECT_STREQ(context.userID, "bob");
            EXPECT_STREQ(context.acctID, "");
        }

        typeInto(kAccountIDFieldID, "4711");
        clickPrint();
        EXPECT_EQ(printCount(), printed + (expected.accountIDNeeded ? 1 : 2)) << "with both codes every mode prints";
        EXPECT_STREQ(context.acctID, "4711");
    }
}

TEST_F(PaneEventHandlerTest, ChoosingAModeAppliesItToThePane)
{
    show(1, 0);
    ASSERT_EQ(StandIn::choosePopupItem(control(kAccountingPopupID), 3, nullptr), noErr);
    EXPECT_EQ(context.acctEnabled, 3);
    EXPECT_TRUE(IsControlVisible(control(kUserIDFieldID)));
    EXPECT_FALSE(IsControlVisible(control(kNoAccountingTextID)));

    std::string error;
    MenuRef menu = nullptr;
    GetControlData(control(kAccountingPopupID), kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr);
    ChangeMenuItemAttributes(menu, 2, kMenuItemAttrHidden, 0);
    EXPECT_NE(StandIn::choosePopupItem(control(kAccountingPopupID), 2, &error), noErr);
    EXPECT_NE(error.find("hidden"), std::string::npos) << error;

    ASSERT_EQ(StandIn::choosePopupItem(control(kAccountingPopupID), 1, nullptr), noErr);
    EXPECT_EQ(context.acctEnabled, 1);
    EXPECT_FALSE(IsControlVisible(control(kUserIDFieldID)));
}

TEST_F(PaneEventHandlerTest, PromptAndDefaultRadiosSwitchTheChoice)
{
    show(3, 0);
    strcpy(context.defUserID, "default user");
    strcpy(context.defAcctID, "");
    typeInto(kUserIDFieldID, "typed but never saved");
    typeInto(kAccountIDFieldID, "also typed");

    click(kPromptRadioID);
    EXPECT_EQ(context.prompt, 1);
    EXPECT_EQ(GetControlValue(control(kUseDefaultRadioID)), 0);
    EXPECT_FALSE(IsControlEnabled(control(kUserIDFieldID)));

    click(kUseDefaultRadioID);
    EXPECT_EQ(context.prompt, 0);
    EXPECT_EQ(GetControlValue(control(kPromptRadioID)), 0);
    EXPECT_EQ(fieldText(kUserIDFieldID), "default user");
    EXPECT_EQ(fieldText(kAccountIDFieldID), "");
}

TEST_F(PaneEventHandlerTest, ConcealBoxesChangeOnlyTheirSetting)
{
    show(3, 1);
    resetDrawCounts();
    click(kConcealUserCheckBoxID);
    EXPECT_EQ(context.concealUser, 1);
    click(kConcealUserCheckBoxID);
    EXPECT_EQ(context.concealUser, 0);
    click(kConcealAccountCheckBoxID);
    EXPECT_EQ(context.concealAccount, 1);
    EXPECT_EQ(drawCount(kAccountingIconID), 0) << "no pane state is re-applied";
}

TEST_F(PaneEventHandlerTest, DisabledControlsTakeNoClicks)
{
    show(3, 0);
    std::string error;
    EXPECT_EQ(StandIn::clickControl(control(kConcealUserCheckBoxID), &error), StandIn::kUserActionRefusedErr);
    EXPECT_NE(error.find("disabled"), std::string::npos) << error;
    EXPECT_EQ(context.concealUser, 0);
}

TEST_F(PaneEventHandlerTest, HitsOnOtherControlsChangeNothing)
{
    show(3, 0);
    const Rect bounds = { 360, 20, 380, 120 };
    ControlRef foreign = nullptr;
    CreateCheckBoxControl(dialog, &bounds, CFSTR("Two-sided"), 0, true, &foreign);
    EmbedControl(foreign, context.accountingUserPane);
    const ControlID foreignID = { 'othr', kAccountingPopupID };
    SetControlID(foreign, &foreignID);
    AccountingContext before = context;

    ASSERT_EQ(StandIn::clickControl(foreign, nullptr), noErr);
    const ControlID unknownID = { kAccountingControlSignature, 555 };
    SetControlID(foreign, &unknownID);
    ASSERT_EQ(StandIn::clickControl(foreign, nullptr), noErr);

    EXPECT_EQ(memcmp(&before, &context, sizeof context), 0);
}

TEST_F(PaneEventHandlerTest, HelpWithoutAHelpBookIsAParameterError)
{
    std::vector<OSStatus> answers;
    EventRef event = nullptr;
    CreateEvent(kCFAllocatorDefault, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
    HICommand command = {};
    command.commandID = 'help';
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    EXPECT_EQ(SendEventToEventTarget(event, GetWindowEventTarget(dialog)), paramErr);
    command.commandID = 'abou';
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    EXPECT_EQ(SendEventToEventTarget(event, GetWindowEventTarget(dialog)), eventNotHandledErr);
    ReleaseEvent(event);
    EXPECT_TRUE(input.events().empty());
}

}
