#include "Accounting/ControlState.h"
#include "Accounting/Help.h"
#include "Accounting/tests/PaneFixture.h"
#include "Accounting/PromptDialog.h"
#include "tests/support/RecordingInputSource.h"
#include "tests/support/TemporaryTree.h"
#include "tests/support/TestBundles.h"

#include <Help/AppleHelp.h>
#include <HIToolbox/HIToolboxStandIn.h>
#include <HIToolbox/UserActionsStandIn.h>

#include <cstring>

namespace {

class PromptTest : public PaneFixture {
protected:
    void SetUp() override
    {
        PaneFixture::SetUp();
        context.theBundleRef = openBundleAt(ACCOUNTING_BUNDLE_DIR);
        ASSERT_NE(context.theBundleRef, nullptr);
        primaryBundle = openBundleAt(PRIMARY_PDE_BUNDLE_DIR);
        ASSERT_NE(primaryBundle, nullptr);
        CFURLRef primaryURL = CFBundleCopyBundleURL(primaryBundle);
        ASSERT_EQ(AHRegisterHelpBookWithURL(primaryURL), noErr);
        CFRelease(primaryURL);
        context.primaryPDEBundle = primaryBundle;
        openDialog();
    }

    void TearDown() override
    {
        EXPECT_EQ(context.accountWindow, nullptr);
        CFRelease(context.theBundleRef);
        CFRelease(primaryBundle);
        PaneFixture::TearDown();
    }

    // Accounting on with the prompt chosen, as the pane leaves it.
    void promptIn(SInt32 mode)
    {
        context.acctEnabled = mode;
        context.prompt = 1;
        setControls(&context);
    }

    static ControlRef find(WindowRef window, SInt32 number)
    {
        ControlRef control = nullptr;
        const ControlID controlID = { kAccountingControlSignature, number };
        GetControlByID(window, &controlID, &control);
        return control;
    }

    static bool okEnabled(WindowRef window) { return IsControlEnabled(find(window, kPromptOKButtonID)); }

    static void click(WindowRef window, SInt32 number)
    {
        std::string error;
        EXPECT_EQ(StandIn::clickControl(find(window, number), &error), noErr) << error;
    }

    static void type(WindowRef window, const std::string& text)
    {
        std::string error;
        EXPECT_EQ(StandIn::typeText(window, text, &error), noErr) << error;
    }

    // Clicks Print and lets the queued actions answer the prompt.
    void clickPrint()
    {
        std::string error;
        ASSERT_EQ(StandIn::clickControl(printButton, &error), noErr) << error;
        EXPECT_EQ(input.actionsLeft(), 0u) << "the prompt closed before every action was taken";
    }

    RecordingInputSource input;
    CFBundleRef primaryBundle { nullptr };
};

TEST_F(PromptTest, WithoutTypesOKWaitsForBothCodes)
{
    promptIn(3);
    input.queue([](WindowRef window) {
        EXPECT_FALSE(okEnabled(window)) << "OK starts disabled";
        type(window, "alice");
        EXPECT_FALSE(okEnabled(window));
    });
    input.queue([](WindowRef window) {
        click(window, kPromptAccountIDFieldID);
        type(window, "42");
        EXPECT_TRUE(okEnabled(window));
        StandIn::pressKey(window, StandIn::Key::Backspace, nullptr);
        StandIn::pressKey(window, StandIn::Key::Backspace, nullptr);
        EXPECT_FALSE(okEnabled(window)) << "deleting the last character disables OK again";
        type(window, "7");
    });
    input.queue([](WindowRef window) { click(window, kPromptOKButtonID); });

    clickPrint();

    EXPECT_EQ(printCount(), 1);
    EXPECT_STREQ(context.userID, "alice");
    EXPECT_STREQ(context.acctID, "7");
    EXPECT_FALSE(context.cancelled);
    EXPECT_TRUE(input.events().empty());
}

TEST_F(PromptTest, TalliantWithoutAccountTypeAsksForTheUserIDAlone)
{
    promptIn(2);
    input.queue([](WindowRef window) {
        EXPECT_EQ(GetControlValue(find(window, kPromptAccountTypePopupID)), 1);
        EXPECT_FALSE(IsControlEnabled(find(window, kPromptAccountIDFieldID)));
        EXPECT_FALSE(IsControlEnabled(find(window, kPromptAccountIDTextID)));
        type(window, "bob");
        EXPECT_TRUE(okEnabled(window));
        click(window, kPromptOKButtonID);
    });

    clickPrint();

    EXPECT_EQ(printCount(), 1);
    EXPECT_STREQ(context.userID, "bob");
    EXPECT_STREQ(context.acctID, "");
}

class PromptAccountTypeTest : public PromptTest, public ::testing::WithParamInterface<SInt32> {
};

TEST_P(PromptAccountTypeTest, ChoosingAnAccountTypeAsksForTheAccountID)
{
    promptIn(2);
    input.queue([](WindowRef window) {
        type(window, "bob");
        ASSERT_EQ(StandIn::choosePopupItem(find(window, kPromptAccountTypePopupID), GetParam(), nullptr), noErr);
        EXPECT_FALSE(okEnabled(window)) << "a new type waits for the next key";
        EXPECT_TRUE(IsControlEnabled(find(window, kPromptAccountIDFieldID)));
        type(window, "by");
        EXPECT_FALSE(okEnabled(window)) << "the User ID alone is not enough";
        click(window, kPromptAccountIDFieldID);
        type(window, "D-9");
        EXPECT_TRUE(okEnabled(window));
        click(window, kPromptOKButtonID);
    });

    clickPrint();

    EXPECT_EQ(context.accountType, GetParam());
    EXPECT_STREQ(context.userID, "bobby");
    EXPECT_STREQ(context.acctID, "D-9");
}

INSTANTIATE_TEST_SUITE_P(TypesNamingAnAccount, PromptAccountTypeTest, ::testing::Values(2, 3));

TEST_F(PromptTest, GoingBackToNoAccountTypeEmptiesTheAccountIDAndAllowsOK)
{
    promptIn(2);
    input.queue([](WindowRef window) {
        ASSERT_EQ(StandIn::choosePopupItem(find(window, kPromptAccountTypePopupID), 3, nullptr), noErr);
        click(window, kPromptAccountIDFieldID);
        type(window, "123");
        ASSERT_EQ(StandIn::choosePopupItem(find(window, kPromptAccountTypePopupID), 1, nullptr), noErr);
        EXPECT_TRUE(okEnabled(window)) << "even with the User ID still empty";
        EXPECT_FALSE(IsControlEnabled(find(window, kPromptAccountIDFieldID)));
        click(window, kPromptOKButtonID);
    });

    clickPrint();

    EXPECT_EQ(printCount(), 1);
    EXPECT_STREQ(context.userID, "");
    EXPECT_STREQ(context.acctID, "");
    EXPECT_EQ(context.accountType, 1);
}

TEST_F(PromptTest, TypedCodesAreCutToTheModesLengthOnWholeCharacters)
{
    promptIn(2);
    ASSERT_EQ(gMaxChars, 12);
    input.queue([](WindowRef window) {
        type(window, "ABCDEFGHIJKLMNOPQRST");
        click(window, kPromptOKButtonID);
    });
    clickPrint();
    EXPECT_STREQ(context.userID, "ABCDEFGHIJKL");

    input.queue([](WindowRef window) {
        type(window, "abcdefghijk\xC3\xA9xyz");
        click(window, kPromptOKButtonID);
    });
    clickPrint();
    EXPECT_STREQ(context.userID, "abcdefghijk") << "the two-byte character at bytes 12 and 13 is left out whole";
}

TEST_F(PromptTest, ConcealedUserIDShowsBulletsAndGivesTheClearText)
{
    promptIn(3);
    context.concealUser = 1;
    input.queue([](WindowRef window) {
        ControlRef field = find(window, kPromptUserIDFieldID);
        ControlRef original = find(window, kReplacedUserIDFieldID);
        ASSERT_NE(original, nullptr);
        EXPECT_FALSE(IsControlVisible(original));
        Rect newBounds = {}, oldBounds = {};
        GetControlBounds(field, &newBounds);
        GetControlBounds(original, &oldBounds);
        EXPECT_EQ(newBounds, oldBounds);

        type(window, "s3cr");
        char shown[64] = {};
        Size size = 0;
        GetControlData(field, kControlEntireControl, kControlEditTextTextTag, sizeof shown, shown, &size);
        EXPECT_EQ(std::string(shown, size), "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2");
        click(window, kPromptAccountIDFieldID);
        type(window, "9");
        EXPECT_TRUE(okEnabled(window)) << "the OK rule counts the clear text";
        click(window, kPromptOKButtonID);
    });

    clickPrint();

    EXPECT_STREQ(context.userID, "s3cr");
    EXPECT_STREQ(context.acctID, "9");
}

TEST_F(PromptTest, ConcealedFieldsObeyTheLengthOfTheirClearText)
{
    promptIn(2);
    context.concealAccount = 1;
    context.concealUser = 1;
    input.queue([](WindowRef window) {
        type(window, std::string(40, 'u'));
        char clear[64] = {};
        Size size = 0;
        GetControlData(find(window, kPromptUserIDFieldID), kControlEntireControl, kControlEditTextPasswordTag, sizeof clear, clear, &size);
        EXPECT_EQ(size, 32) << "mode 2 takes 32 bytes of clear text";
        click(window, kPromptOKButtonID);
    });

    clickPrint();

    EXPECT_EQ(std::string(context.userID), std::string(12, 'u'));
    EXPECT_GE(input.beeps(), 8);
}

TEST_F(PromptTest, CancelClosesThePromptBeforeTheAlertAndPrintsNothing)
{
    promptIn(2);
    strcpy(context.userID, "earlier user");
    strcpy(context.acctID, "earlier account");
    input.onAlert = [this] {
        EXPECT_EQ(context.accountWindow, nullptr) << "the prompt is gone when the alert shows";
        EXPECT_EQ(StandIn::liveToolboxObjectCount("window"), 1) << "only the Print dialog is left";
    };
    input.queue([](WindowRef window) {
        type(window, "someone");
        ASSERT_EQ(StandIn::choosePopupItem(find(window, kPromptAccountTypePopupID), 3, nullptr), noErr);
        click(window, kPromptCancelButtonID);
    });

    clickPrint();

    EXPECT_EQ(printCount(), 0);
    EXPECT_TRUE(context.cancelled);
    EXPECT_STREQ(context.userID, "earlier user");
    EXPECT_STREQ(context.acctID, "earlier account");
    EXPECT_EQ(context.accountType, 3) << "the type chosen before Cancel stays";
    ASSERT_EQ(input.events().size(), 1u);
    EXPECT_EQ(input.events()[0].rfind("alert: Your job was not printed", 0), 0u) << input.events()[0];
}

TEST_F(PromptTest, HelpOpensThePageAndThePromptStaysUp)
{
    promptIn(3);
    input.queue([](WindowRef window) {
        ControlRef help = nullptr;
        UInt16 count = 0;
        ControlRef root = nullptr;
        GetRootControl(window, &root);
        // The Help button is found by its command, as a person finds it by its title.
        std::vector<ControlRef> pending = { root };
        while (!pending.empty() && !help) {
            ControlRef current = pending.back();
            pending.pop_back();
            UInt32 command = 0;
            GetControlCommandID(current, &command);
            if (command == 'Mhlp')
                help = current;
            CountSubControls(current, &count);
            for (UInt16 i = 1; i <= count; ++i) {
                ControlRef child = nullptr;
                GetIndexedSubControl(current, i, &child);
                pending.push_back(child);
            }
        }
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(StandIn::clickControl(help, nullptr), noErr);
    });
    input.queue([](WindowRef window) {
        EXPECT_TRUE(IsWindowVisible(window));
        click(window, kPromptCancelButtonID);
    });

    clickPrint();

    ASSERT_GE(input.events().size(), 1u);
    EXPECT_NE(input.events()[0].find("help: "), std::string::npos) << input.events()[0];
    EXPECT_NE(input.events()[0].find("Mac_topics/M_accounting_dialog.htm"), std::string::npos) << input.events()[0];
}

TEST_F(PromptTest, ThePrintDialogTakesNoClicksWhileThePromptIsUp)
{
    promptIn(3);
    input.queue([this](WindowRef window) {
        std::string error;
        EXPECT_EQ(StandIn::clickControl(printButton, &error), StandIn::kUserActionRefusedErr);
        EXPECT_NE(error.find("modal"), std::string::npos) << error;
        click(window, kPromptCancelButtonID);
    });
    clickPrint();
    EXPECT_EQ(printCount(), 0);
}

TEST_F(PromptTest, APromptWhoseInputRunsOutPrintsNothing)
{
    promptIn(3);
    input.queue([](WindowRef window) { type(window, "half"); });

    clickPrint();

    EXPECT_EQ(printCount(), 0);
    EXPECT_STREQ(context.userID, "");
    EXPECT_TRUE(input.events().empty()) << "no alert for a prompt nobody answered";
}

TEST_F(PromptTest, TheKeyFilterReadsThePromptsOwnMode)
{
    promptIn(2);
    AccountingContext otherDialog = {};
    otherDialog.acctEnabled = kAccountingOff;
    gContext = &otherDialog;
    input.queue([this](WindowRef window) {
        EXPECT_EQ(gContext, &context);
        type(window, "abc");
        click(window, kPromptOKButtonID);
    });

    clickPrint();

    EXPECT_STREQ(context.userID, "abc");
    EXPECT_EQ(gContext, &otherDialog) << "the context created last is named again afterwards";
    gContext = &context;
}

}

namespace {

// A bundle of the test's own, whose interface definition lacks what a prompt needs.
class BrokenPromptTest : public PaneFixture {
protected:
    void SetUp() override
    {
        PaneFixture::SetUp();
        tree.addFile("Contents/Info.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>CFBundleIdentifier</key><string>com.example.broken-accounting</string></dict></plist>\n");
        // "Accounting" has no Cancel button; there is no "Talliant" at all.
        tree.addFile("Contents/Resources/Accounting.nib",
            "window \"Accounting\" class=movable-modal bounds=0,0,172,360 title=\"Accounting\"\n"
            "  control edit-text id='MVRa',501 bounds=56,128,78,340\n"
            "  control edit-text id='MVRa',503 bounds=90,128,112,340\n"
            "  control push-button id='MVRa',1000 bounds=132,260,152,340 title=\"OK\" default\n"
            "end\n");
        context.theBundleRef = openBundleAt(tree.root());
        ASSERT_NE(context.theBundleRef, nullptr);
        openDialog();
    }

    void TearDown() override
    {
        CFRelease(context.theBundleRef);
        PaneFixture::TearDown();
    }

    TemporaryTree tree;
    RecordingInputSource input;
};

TEST_F(BrokenPromptTest, APromptThatCannotBeBuiltShowsNothingAndPrintsNothing)
{
    for (SInt32 mode : { 2, 3 }) {
        context.acctEnabled = mode;
        context.prompt = 1;
        setControls(&context);
        strcpy(context.userID, "kept");
        ASSERT_EQ(StandIn::clickControl(printButton, nullptr), noErr);
        EXPECT_EQ(printCount(), 0) << "mode " << mode;
        EXPECT_EQ(context.accountWindow, nullptr);
        EXPECT_STREQ(context.userID, "kept");
        EXPECT_EQ(StandIn::liveToolboxObjectCount("window"), 1) << "no prompt window is left behind";
    }
    EXPECT_TRUE(input.events().empty());
}

TEST_F(PromptTest, HelpFromThePaneOpensTheAccountingPage)
{
    ASSERT_EQ(StandIn::sendCommand(dialog, 'help', nullptr), noErr);
    ASSERT_EQ(input.events().size(), 1u);
    EXPECT_NE(input.events()[0].find("MovraHelp/Mac_topics/M_accounting_dialog.htm"), std::string::npos) << input.events()[0];
}

TEST_F(PromptTest, HelpLooksUpAnAnchorWhenOneIsGiven)
{
    EXPECT_EQ(DisplayHelp(primaryBundle, CFSTR("ignored.htm"), CFSTR("defaults")), noErr);
    ASSERT_EQ(input.events().size(), 1u);
    EXPECT_NE(input.events()[0].find("M_accounting_dialog.htm#defaults"), std::string::npos) << input.events()[0];
    EXPECT_EQ(DisplayHelp(primaryBundle, kAccountingHelpPage, CFSTR("no-such-anchor")), fnfErr);
    EXPECT_EQ(DisplayHelp(context.theBundleRef, kAccountingHelpPage, nullptr), paramErr) << "this bundle names no help book";
    EXPECT_EQ(DisplayHelp(nullptr, kAccountingHelpPage, nullptr), paramErr);
}

}
