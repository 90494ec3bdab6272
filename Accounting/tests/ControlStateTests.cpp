#include "Accounting/ControlState.h"
#include "Accounting/tests/PaneFixture.h"

#include <HIToolbox/HIToolbox.h>

#include <sstream>

namespace {

// What a person sees of a control: "-" hidden, "V" shown, followed by "E" or "D" where its
// enabling matters.
std::string look(ControlRef control, bool withEnabling)
{
    std::string seen = IsControlVisible(control) ? "V" : "-";
    if (withEnabling)
        seen += IsControlEnabled(control) ? "E" : "D";
    return seen;
}

struct PaneCase {
    const char* name;
    SInt32 mode;
    SInt32 prompt;
    SInt32 accountType;
    const char* noAccountingText;
    const char* radios;
    SInt16 promptRadioValue;
    const char* userID;
    const char* accountID;
    bool accountIDMoved;
    const char* typePopup;
    SInt32 typeValue;
    const char* concealBoxes;
    int maxChars;
};

// The pane by mode and prompt choice. The conceal boxes start checked in the context (user 1,
// account 0) so that "context values" can be told from the boxes' own.
const PaneCase kPaneCases[] = {
    { "off", 1, 0, 1, "V", "-", 0, "-", "-", false, "-", 1, "-", 0 },
    { "talliant_prompt", 2, 1, 3, "-", "VE", 1, "VD", "VD", false, "VD", 1, "VE", 12 },
    { "talliant_defaults_type_1", 2, 0, 1, "-", "VE", 0, "VE", "VD", false, "VE", 1, "VD", 12 },
    { "talliant_defaults_type_2", 2, 0, 2, "-", "VE", 0, "VE", "VE", false, "VE", 2, "VD", 12 },
    { "without_types_prompt", 3, 1, 3, "-", "VE", 1, "VD", "VD", true, "-D", 1, "VE", 64 },
    { "without_types_defaults", 3, 0, 2, "-", "VE", 0, "VE", "VE", true, "-E", 2, "VD", 64 },
};

void PrintTo(const PaneCase& paneCase, std::ostream* out)
{
    *out << paneCase.name;
}

class PaneStateTest : public PaneFixture, public ::testing::WithParamInterface<PaneCase> {
};

TEST_P(PaneStateTest, ShowsTheControlsThatTheModeAndPromptChoiceCallFor)
{
    const PaneCase& expected = GetParam();
    buildPane();
    gMaxChars = 0;
    context.acctEnabled = expected.mode;
    context.prompt = expected.prompt;
    context.accountType = expected.accountType;
    SetControlValue(control(kAccountingTypePopupID), static_cast<SInt16>(expected.accountType));
    context.concealUser = 1;
    context.concealAccount = 0;
    SetControlValue(control(kConcealAccountCheckBoxID), 1);

    setControls(&context);

    bool on = expected.mode > 1;
    EXPECT_EQ(look(control(kNoAccountingTextID), false), expected.noAccountingText);
    for (SInt32 radio : { kPromptRadioID, kUseDefaultRadioID })
        EXPECT_EQ(look(control(radio), on), expected.radios) << "radio " << radio;
    if (on) {
        EXPECT_EQ(GetControlValue(control(kPromptRadioID)), expected.promptRadioValue);
        EXPECT_EQ(GetControlValue(control(kUseDefaultRadioID)), 1 - expected.promptRadioValue);
    }
    for (SInt32 number : { kUserIDTextID, kUserIDFieldID })
        EXPECT_EQ(look(control(number), on), expected.userID) << "control " << number;
    for (SInt32 number : { kAccountIDTextID, kAccountIDFieldID })
        EXPECT_EQ(look(control(number), on), expected.accountID) << "control " << number;
    EXPECT_EQ(!(boundsOf(kAccountIDFieldID) == kAccountIDFieldBounds), expected.accountIDMoved) << boundsOf(kAccountIDFieldID);
    for (SInt32 number : { kAccountingTypePopupID, kAccountingTypeTextID })
        EXPECT_EQ(look(control(number), on), expected.typePopup) << "control " << number;
    EXPECT_EQ(GetControlValue(control(kAccountingTypePopupID)), expected.typeValue);
    EXPECT_EQ(context.accountType, expected.typeValue);
    for (SInt32 number : { kConcealUserCheckBoxID, kConcealAccountCheckBoxID })
        EXPECT_EQ(look(control(number), on), expected.concealBoxes) << "control " << number;
    if (expected.prompt) {
        EXPECT_EQ(GetControlValue(control(kConcealUserCheckBoxID)), 1);
        EXPECT_EQ(GetControlValue(control(kConcealAccountCheckBoxID)), 0);
    }
    EXPECT_EQ(gMaxChars, expected.maxChars);
}

INSTANTIATE_TEST_SUITE_P(ByModeAndPromptChoice, PaneStateTest, ::testing::ValuesIn(kPaneCases),
    [](const auto& info) { return std::string(info.param.name); });

const SInt32 kEveryPaneControl[] = {
    kAccountingPopupID,
    kAccountingIconID,
    kNoAccountingTextID,
    kAccountingTypeTextID,
    kAccountingTypePopupID,
    kPromptRadioID,
    kUseDefaultRadioID,
    kUserIDTextID,
    kUserIDFieldID,
    kAccountIDTextID,
    kAccountIDFieldID,
    kConcealUserCheckBoxID,
    kConcealAccountCheckBoxID,
};

class ControlStateTest : public PaneFixture {
protected:
    // Everything a person sees of the pane: each control's visibility, enabling, value and place.
    std::string paneAsSeen() const
    {
        std::ostringstream seen;
        for (SInt32 number : kEveryPaneControl)
            seen << number << ": " << look(control(number), true) << " value " << GetControl32BitValue(control(number)) << " at "
                 << boundsOf(number) << "\n";
        return seen.str();
    }

    void apply(SInt32 mode, SInt32 prompt = 0)
    {
        context.acctEnabled = mode;
        context.prompt = prompt;
        setControls(&context);
    }
};

TEST_F(ControlStateTest, WithoutTypesTheAccountIDPairTakesThePlaceOfTheTypeLabel)
{
    buildPane();
    apply(3);

    // The label keeps its height and width and moves to the type label's top; the field keeps
    // its own size and sits 8 below the label.
    EXPECT_EQ(boundsOf(kAccountIDTextID), (Rect { 110, 10, 126, 140 }));
    EXPECT_EQ(boundsOf(kAccountIDFieldID), (Rect { 134, 10, 156, 140 }));
    EXPECT_EQ(context.accountIDTextRect, kAccountIDTextBounds);
    EXPECT_EQ(context.accountIDRect, kAccountIDFieldBounds);
}

TEST_F(ControlStateTest, MoveFollowsTheGivenGeometry)
{
    buildPane();
    const Rect typeLabel = { 100, 20, 116, 100 };
    const Rect label = { 140, 20, 156, 100 };
    const Rect field = { 140, 110, 162, 300 };
    SetControlBounds(control(kAccountingTypeTextID), &typeLabel);
    SetControlBounds(control(kAccountIDTextID), &label);
    SetControlBounds(control(kAccountIDFieldID), &field);

    apply(3);

    EXPECT_EQ(boundsOf(kAccountIDTextID), (Rect { 100, 20, 116, 100 }));
    EXPECT_EQ(boundsOf(kAccountIDFieldID), (Rect { 124, 110, 146, 300 }));
    EXPECT_EQ(context.accountIDTextRect, label);
    EXPECT_EQ(context.accountIDRect, field);
}

TEST_F(ControlStateTest, SecondCallWithoutTypesMovesNothing)
{
    buildPane();
    apply(3);
    const Rect nudged = { 111, 10, 127, 140 };
    SetControlBounds(control(kAccountIDTextID), &nudged);

    apply(3);

    EXPECT_EQ(boundsOf(kAccountIDTextID), nudged);
    EXPECT_EQ(boundsOf(kAccountIDFieldID), (Rect { 134, 10, 156, 140 }));
}

TEST_F(ControlStateTest, TalliantAccountingPutsTheMovedPairBackAndForgetsTheSavedPlace)
{
    buildPane();
    apply(3);
    apply(2);

    EXPECT_EQ(boundsOf(kAccountIDTextID), kAccountIDTextBounds);
    EXPECT_EQ(boundsOf(kAccountIDFieldID), kAccountIDFieldBounds);
    EXPECT_EQ(context.accountIDTextRect.top, 0);
    EXPECT_EQ(context.accountIDRect.top, 0);
    // Only the top is cleared; the rest of the saved rectangle stays.
    EXPECT_EQ(context.accountIDRect.left, kAccountIDFieldBounds.left);
    EXPECT_TRUE(IsControlVisible(control(kAccountingTypePopupID)));
}

TEST_F(ControlStateTest, AccountingOffKeepsTheMovedPairInPlaceAndErasesItsArea)
{
    buildPane();
    apply(3);
    const Rect movedField = boundsOf(kAccountIDFieldID);
    SetPortWindowPort(dialog);
    const RGBColor ink = { 0x1000, 0x2000, 0x3000 };
    RGBForeColor(&ink);
    const Rect everything = { 0, 0, 600, 500 };
    PaintRect(&everything);

    apply(1);

    EXPECT_EQ(boundsOf(kAccountIDFieldID), movedField);
    EXPECT_NE(context.accountIDRect.top, 0);
    RGBColor insideField = ink;
    GetCPixel(movedField.left + 1, movedField.top + 1, &insideField);
    EXPECT_EQ(insideField.red, 0xFFFF) << "the moved field's area is erased to the background";
    RGBColor elsewhere = {};
    GetCPixel(5, 5, &elsewhere);
    EXPECT_EQ(elsewhere.red, ink.red) << "nothing else is erased";

    apply(3);
    EXPECT_EQ(boundsOf(kAccountIDFieldID), movedField);
}

TEST_F(ControlStateTest, TalliantAndOffWithoutEverMovingEraseNothing)
{
    buildPane();
    SetPortWindowPort(dialog);
    const RGBColor ink = { 0x1000, 0x2000, 0x3000 };
    RGBForeColor(&ink);
    const Rect everything = { 0, 0, 600, 500 };
    PaintRect(&everything);

    apply(2);
    apply(1);
    apply(2);

    RGBColor pixel = {};
    GetCPixel(kAccountIDFieldBounds.left + 1, kAccountIDFieldBounds.top + 1, &pixel);
    EXPECT_EQ(pixel.red, ink.red);
    EXPECT_EQ(boundsOf(kAccountIDFieldID), kAccountIDFieldBounds);
    EXPECT_EQ(context.accountIDRect.top, 0);
}

TEST_F(ControlStateTest, PromptingForcesAccountTypeOneAndItStaysAfterwards)
{
    buildPane();
    context.accountType = 3;
    SetControlValue(control(kAccountingTypePopupID), 3);
    apply(2, 1);
    EXPECT_EQ(context.accountType, 1);

    apply(2, 0);
    EXPECT_EQ(context.accountType, 1);
    EXPECT_EQ(GetControlValue(control(kAccountingTypePopupID)), 1);
    EXPECT_FALSE(IsControlEnabled(control(kAccountIDFieldID)));
}

TEST_F(ControlStateTest, ModesBelowOneChangeNothingButThePicture)
{
    buildPane();
    context.accountType = 3;
    SetControlValue(control(kAccountingTypePopupID), 3);
    apply(3, 0);
    const std::string shownBefore = paneAsSeen();
    const Rect savedLabel = context.accountIDTextRect;
    const Rect savedField = context.accountIDRect;
    for (SInt32 mode : { 0, -1, -65535 }) {
        resetDrawCounts();
        // Prompting on: were the values applied, the radios would flip, the code fields would be
        // disabled and the account type forced to 1.
        apply(mode, 1);
        EXPECT_EQ(drawCount(kAccountingIconID), 1) << "mode " << mode;
        EXPECT_EQ(paneAsSeen(), shownBefore) << "mode " << mode;
        EXPECT_EQ(context.accountType, 3) << "mode " << mode;
        EXPECT_EQ(context.accountIDTextRect, savedLabel) << "mode " << mode;
        EXPECT_EQ(context.accountIDRect, savedField) << "mode " << mode;
        EXPECT_EQ(gMaxChars, 64) << "mode " << mode;
    }
}

TEST_F(ControlStateTest, ModeFourSetsValuesButNotLayout)
{
    buildPane();
    apply(1);
    gMaxChars = 12;
    context.accountType = 1;

    apply(4, 0);

    EXPECT_FALSE(IsControlVisible(control(kUserIDFieldID))) << "step 2 shows nothing";
    EXPECT_EQ(gMaxChars, 12);
    EXPECT_EQ(GetControlValue(control(kUseDefaultRadioID)), 1);
    // Only Talliant accounting disables the Account ID for type 1.
    EXPECT_TRUE(IsControlEnabled(control(kAccountIDFieldID)));
}

TEST_F(ControlStateTest, BeforeThePaneIsBuiltOnlyTheContextChanges)
{
    context.acctEnabled = 3;
    context.prompt = 1;
    context.accountType = 2;
    gMaxChars = 0;

    setControls(&context);

    EXPECT_EQ(context.accountType, 1);
    EXPECT_EQ(gMaxChars, 64);
    EXPECT_EQ(context.accountIDTextRect.top, 0) << "no rectangle becomes present";
    EXPECT_EQ(context.accountIDRect.top, 0);
}

TEST_F(ControlStateTest, PictureAndRevealedCodeFieldRedrawAtOnce)
{
    buildPane();
    apply(2, 1);
    EXPECT_EQ(drawCount(kAccountingIconID), 1);
    EXPECT_GE(drawCount(kConcealUserCheckBoxID), 1);
    resetDrawCounts();

    context.accountType = 2;
    apply(2, 0);
    EXPECT_EQ(drawCount(kAccountingIconID), 1);
    EXPECT_GE(drawCount(kAccountIDFieldID), 1);
}

}
