#include "Accounting/ControlState.h"
#include "Accounting/KeyFilter.h"
#include "Accounting/tests/PaneFixture.h"
#include "tests/support/RecordingInputSource.h"

#include <HIToolbox/UserActionsStandIn.h>

namespace {

class KeyFilterTest : public PaneFixture {
protected:
    void SetUp() override
    {
        PaneFixture::SetUp();
        openDialog();
    }

    // The default User ID field, holding text, with the caret at its end, in mode 2 or 3.
    void fieldHolding(SInt32 mode, const std::string& text)
    {
        context.acctEnabled = mode;
        context.prompt = 0;
        setControls(&context);
        SetControlData(control(kUserIDFieldID), kControlEntireControl, kControlEditTextTextTag, static_cast<Size>(text.size()), text.data());
        ASSERT_EQ(StandIn::clickControl(control(kUserIDFieldID), nullptr), noErr);
        input.clear();
    }

    std::string fieldText()
    {
        char text[256];
        Size size = 0;
        GetControlData(control(kUserIDFieldID), kControlEntireControl, kControlEditTextTextTag, sizeof text, text, &size);
        return std::string(text, size);
    }

    void press(StandIn::Key key) { ASSERT_EQ(StandIn::pressKey(dialog, key, nullptr), noErr); }
    void type(const std::string& text) { ASSERT_EQ(StandIn::typeText(dialog, text, nullptr), noErr); }

    RecordingInputSource input;
};

TEST_F(KeyFilterTest, FieldTakesLettersUpToSixtyFourBytesWithoutTypes)
{
    fieldHolding(3, std::string(63, 'a'));
    type("b");
    EXPECT_EQ(fieldText(), std::string(63, 'a') + "b");
    EXPECT_EQ(input.beeps(), 0);

    type("c");
    EXPECT_EQ(fieldText(), std::string(63, 'a') + "b");
    EXPECT_EQ(input.beeps(), 1);
}

TEST_F(KeyFilterTest, FullFieldTakesOnlyEditingAndSidewaysKeys)
{
    fieldHolding(3, std::string(64, 'a'));
    for (StandIn::Key refused : { StandIn::Key::Tab, StandIn::Key::Return, StandIn::Key::UpArrow, StandIn::Key::DownArrow })
        press(refused);
    EXPECT_EQ(input.beeps(), 4);
    ControlRef focus = nullptr;
    GetKeyboardFocus(dialog, &focus);
    EXPECT_EQ(focus, control(kUserIDFieldID)) << "the refused Tab moved no focus";

    press(StandIn::Key::LeftArrow);
    press(StandIn::Key::Delete);
    EXPECT_EQ(fieldText(), std::string(63, 'a'));
    type("z");
    press(StandIn::Key::RightArrow);
    press(StandIn::Key::Backspace);
    EXPECT_EQ(fieldText(), std::string(63, 'a'));
    EXPECT_EQ(input.beeps(), 4);
}

TEST_F(KeyFilterTest, TalliantAccountingLimitsCodesToThirtyTwoBytes)
{
    fieldHolding(2, std::string(31, '1'));
    type("23");
    EXPECT_EQ(fieldText(), std::string(31, '1') + "2");
    EXPECT_EQ(input.beeps(), 1);
}

TEST_F(KeyFilterTest, FullFieldWithASelectionTakesLettersButNeverRefusedCharacters)
{
    fieldHolding(2, std::string(32, 'x'));
    ASSERT_EQ(StandIn::selectRange(control(kUserIDFieldID), 0, 4, nullptr), noErr);
    type("/");
    EXPECT_EQ(input.beeps(), 1);
    type("AB");
    EXPECT_EQ(fieldText(), "AB" + std::string(28, 'x'));
}

TEST_F(KeyFilterTest, FifteenCharactersAreRefusedEvenInAnEmptyField)
{
    fieldHolding(3, "");
    for (char refused : std::string(",\"':;/\\|{}[]<>?")) {
        type(std::string(1, refused));
        EXPECT_EQ(fieldText(), "") << "character " << refused;
    }
    EXPECT_EQ(input.beeps(), 15);
    type("a-b.c_d 9");
    EXPECT_EQ(fieldText(), "a-b.c_d 9");
}

TEST_F(KeyFilterTest, ACharacterThatDoesNotFitWholeIsRefused)
{
    fieldHolding(3, std::string(63, 'a'));
    type("\xC3\xA9");
    EXPECT_EQ(fieldText(), std::string(63, 'a'));
    EXPECT_EQ(input.beeps(), 1);

    fieldHolding(3, std::string(62, 'a'));
    type("\xC3\xA9");
    EXPECT_EQ(fieldText(), std::string(62, 'a') + "\xC3\xA9");

    fieldHolding(3, std::string(61, 'a'));
    type("\xF0\x9F\x98\x80");
    EXPECT_EQ(fieldText(), std::string(61, 'a'));
}

// The first and last characters of each UTF-8 length, typed where exactly one byte too few is
// left, then where they just fit.
TEST_F(KeyFilterTest, CharactersAtTheEdgesOfEachLengthCountTheirWholeSize)
{
    struct Edge {
        const char* name;
        std::string bytes;
    };
    const Edge edges[] = {
        { "U+0080", "\xC2\x80" },
        { "U+07FF", "\xDF\xBF" },
        { "U+0800", "\xE0\xA0\x80" },
        { "U+FFFD", "\xEF\xBF\xBD" },
        { "U+10000", "\xF0\x90\x80\x80" },
    };
    for (const Edge& edge : edges) {
        std::string tooFull(64 - edge.bytes.size() + 1, 'a');
        fieldHolding(3, tooFull);
        type(edge.bytes);
        EXPECT_EQ(fieldText(), tooFull) << edge.name << " with " << edge.bytes.size() - 1 << " bytes left";
        EXPECT_EQ(input.beeps(), 1) << edge.name;

        std::string roomEnough(64 - edge.bytes.size(), 'a');
        fieldHolding(3, roomEnough);
        type(edge.bytes);
        EXPECT_EQ(fieldText(), roomEnough + edge.bytes) << edge.name << " with " << edge.bytes.size() << " bytes left";
        EXPECT_EQ(input.beeps(), 0) << edge.name;
    }
}

TEST_F(KeyFilterTest, PaneFieldsKeepTheirOwnDialogsLimits)
{
    fieldHolding(3, std::string(40, 'a'));
    AccountingContext otherDialog = {};
    otherDialog.acctEnabled = kAccountingOff;
    gContext = &otherDialog;

    type("b");

    EXPECT_EQ(fieldText(), std::string(40, 'a') + "b") << "the other dialog's mode 1 would refuse every letter";
    gContext = &context;
}

TEST(KeyFilterWithoutAPane, OtherModesAndFieldsPassOnlyEditingKeysWithoutASelection)
{
    AccountingContext offContext = {};
    offContext.acctEnabled = kAccountingOff;
    AccountingContextPtr saved = gContext;
    gContext = &offContext;
    RecordingInputSource input;
    WindowRef window = nullptr;
    const Rect bounds = { 0, 0, 100, 100 };
    CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window);
    ControlRef field = nullptr;
    CreateEditTextControl(window, &bounds, CFSTR(""), false, false, nullptr, &field);
    const ControlID codeField = { kAccountingControlSignature, kUserIDFieldID };
    SetControlID(field, &codeField);

    SInt16 keyCode = 0;
    EventModifiers modifiers = 0;
    auto filter = [&](SInt16 charCode) { return accountKeyFilter(field, &keyCode, &charCode, &modifiers); };
    EXPECT_EQ(filter('a'), kControlKeyFilterBlockKey);
    for (SInt16 key : { 0x08, 0x7F, 0x1C, 0x1D })
        EXPECT_EQ(filter(key), kControlKeyFilterPassKey) << "key " << key;

    const ControlID otherField = { kAccountingControlSignature, 777 };
    SetControlID(field, &otherField);
    offContext.acctEnabled = kAccountingWithoutTypes;
    EXPECT_EQ(filter('a'), kControlKeyFilterBlockKey) << "only the four code fields have a length";

    DisposeWindow(window);
    gContext = saved;
    EXPECT_EQ(input.beeps(), 2);
}

}
