// Conformance of the HIToolbox stand-in's windows, controls and menus: the control tree and its
// identifiers, visibility and enabling through embedders, values and ranges, bounds, data tags,
// properties, popup menus, and refusal of null and stale references.
#include "tests/support/LiveObjects.h"

#include <HIToolbox/HIToolbox.h>
#include <Graphics/QuickDrawStandIn.h>
#include <HIToolbox/HIToolboxStandIn.h>

#include <cstring>
#include <ostream>
#include <vector>
#include <string>

static bool operator==(const Rect& a, const Rect& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

static void PrintTo(const Rect& r, std::ostream* out)
{
    *out << "{top " << r.top << ", left " << r.left << ", bottom " << r.bottom << ", right " << r.right << "}";
}

namespace {

const Rect kSomewhere = { 10, 20, 110, 220 };
const Rect kSentinelRect = { -7, -7, -7, -7 };
ControlRef const kSentinelControl = reinterpret_cast<ControlRef>(0x5e17);

long live(const char* kind) { return StandIn::liveToolboxObjectCount(kind); }

WindowRef newWindow()
{
    const Rect content = { 40, 50, 340, 450 };
    WindowRef window = nullptr;
    EXPECT_EQ(CreateNewWindow(kMovableModalWindowClass, kWindowStandardHandlerAttribute, &content, &window), noErr);
    return window;
}

ControlRef pane(WindowRef window, const Rect& bounds = kSomewhere)
{
    ControlRef control = nullptr;
    EXPECT_EQ(CreateUserPaneControl(window, &bounds, 0, &control), noErr);
    return control;
}

ControlRef pushButton(WindowRef window, const Rect& bounds = kSomewhere)
{
    ControlRef control = nullptr;
    EXPECT_EQ(CreatePushButtonControl(window, &bounds, CFSTR("OK"), &control), noErr);
    return control;
}

ControlRef parentOf(ControlRef control)
{
    ControlRef parent = kSentinelControl;
    GetSuperControl(control, &parent);
    return parent;
}

MenuRef menuWith(std::initializer_list<const char*> items)
{
    MenuRef menu = nullptr;
    EXPECT_EQ(CreateNewMenu(1, 0, &menu), noErr);
    for (const char* item : items) {
        CFStringRef text = CFStringCreateWithCString(kCFAllocatorDefault, item, kCFStringEncodingUTF8);
        EXPECT_EQ(AppendMenuItemTextWithCFString(menu, text, 0, 0, nullptr), noErr);
        CFRelease(text);
    }
    return menu;
}

// Every test gets a window of its own, disposed at the end with whatever the test left in it.
class ControlTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        window = newWindow();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        DisposeWindow(window);
        BalancedTest::TearDown();
    }

    WindowRef window { nullptr };
};

class WindowTest : public BalancedTest { };
class MenuTest : public BalancedTest { };

TEST_F(WindowTest, NewWindowStartsHiddenAndEveryCreatedControlIsEmbeddedInItsRoot)
{
    WindowRef window = newWindow();
    EXPECT_FALSE(IsWindowVisible(window));
    ControlRef root = nullptr, made[7] = {};
    ASSERT_EQ(GetRootControl(window, &root), noErr);
    EXPECT_EQ(CreateUserPaneControl(window, &kSomewhere, 0, &made[0]), noErr);
    EXPECT_EQ(CreateStaticTextControl(window, &kSomewhere, CFSTR("Account"), nullptr, &made[1]), noErr);
    EXPECT_EQ(CreateEditTextControl(window, &kSomewhere, CFSTR(""), false, true, nullptr, &made[2]), noErr);
    EXPECT_EQ(CreatePopupButtonControl(window, &kSomewhere, CFSTR("Printer"), -12345, false, 0, 0, 0, &made[3]), noErr);
    EXPECT_EQ(CreateRadioButtonControl(window, &kSomewhere, CFSTR("A"), 1, true, &made[4]), noErr);
    EXPECT_EQ(CreateCheckBoxControl(window, &kSomewhere, CFSTR("B"), 0, true, &made[5]), noErr);
    EXPECT_EQ(CreatePushButtonControl(window, &kSomewhere, CFSTR("OK"), &made[6]), noErr);
    UInt16 count = 0;
    EXPECT_EQ(CountSubControls(root, &count), noErr);
    EXPECT_EQ(count, 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(parentOf(made[i]), root) << "control " << i;
        EXPECT_EQ(GetControlOwner(made[i]), window) << "control " << i;
        EXPECT_TRUE(IsControlVisible(made[i]) && IsControlEnabled(made[i])) << "control " << i;
    }

    // Disposing of the window takes every control, handler and popup menu with it.
    const long controls = live("control"), handlers = live("handler"), menus = live("menu");
    ASSERT_EQ(EmbedControl(made[6], made[0]), noErr);
    MenuRef menu = menuWith({ "one" });
    ASSERT_EQ(SetControlData(made[3], kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu), noErr);
    ReleaseMenu(menu);
    const EventTypeSpec hitType = { kEventClassControl, kEventControlHit };
    auto ignore = [](EventHandlerCallRef, EventRef, void*) -> OSStatus { return eventNotHandledErr; };
    ASSERT_EQ(InstallEventHandler(GetControlEventTarget(made[6]), ignore, 1, &hitType, nullptr, nullptr), noErr);
    ASSERT_EQ(InstallEventHandler(GetWindowEventTarget(window), ignore, 1, &hitType, nullptr, nullptr), noErr);
    DisposeWindow(window);
    EXPECT_EQ(live("control"), controls - 8);
    EXPECT_EQ(live("handler"), handlers);
    EXPECT_EQ(live("menu"), menus);

    // The stale reference is refused, out-parameters untouched or nulled, without a crash.
    ControlRef out = kSentinelControl;
    EXPECT_EQ(GetRootControl(window, &out), errInvalidWindowRef);
    EXPECT_EQ(CreatePushButtonControl(window, &kSomewhere, CFSTR("OK"), &out), errInvalidWindowRef);
    EXPECT_EQ(SetWindowDefaultButton(window, nullptr), errInvalidWindowRef);
    EXPECT_EQ(out, kSentinelControl);
    const ControlID id = { 'acct', 1 };
    EXPECT_EQ(GetControlByID(window, &id, &out), errInvalidWindowRef);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(GetWindowEventTarget(window), nullptr);
    ShowWindow(window);
    EXPECT_FALSE(IsWindowVisible(window));
    DisposeWindow(window);
}

TEST_F(WindowTest, SizeWindowGrowsTheContentFromItsCornerKeepingControlsAndPaint)
{
    WindowRef window = newWindow();
    Rect before = {};
    GetWindowContentBounds(window, &before);
    ControlRef field = nullptr;
    const Rect fieldBounds = { 10, 10, 32, 110 };
    ASSERT_EQ(CreateEditTextControl(window, &fieldBounds, CFSTR(""), false, true, nullptr, &field), noErr);
    SetPortWindowPort(window);
    const Rect painted = { 0, 0, 4, 4 };
    RGBColor red = { 0xFFFF, 0, 0 };
    RGBBackColor(&red);
    EraseRect(&painted);

    SizeWindow(window, 300, 400, true);
    Rect after = {};
    GetWindowContentBounds(window, &after);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.right - after.left, 300);
    EXPECT_EQ(after.bottom - after.top, 400);
    Rect bounds = {};
    GetControlBounds(field, &bounds);
    EXPECT_EQ(bounds.top, fieldBounds.top);
    EXPECT_EQ(bounds.right, fieldBounds.right);
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
    ASSERT_TRUE(StandIn::copyPortPixels(GetWindowPort(window), &rgba, &width, &height));
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 400);
    EXPECT_EQ(rgba[0], 0xFF);
    EXPECT_EQ(rgba[1], 0x00) << "what was painted stays";
    EXPECT_EQ(rgba[(399 * 300 + 299) * 4 + 1], 0xFF) << "the new part is the background";

    SizeWindow(window, -1, 10, false);
    GetWindowContentBounds(window, &after);
    EXPECT_EQ(after.right - after.left, 300) << "a negative size is ignored";
    DisposeWindow(window);
    SizeWindow(window, 10, 10, false);
}

TEST_F(ControlTest, GetControlByIDSearchesNestedControlsDepthFirstAndWritesNullWhenNothingMatches)
{
    // outer (first child of the root) > inner > deep; then a sibling of outer with the same ID.
    ControlRef outer = pane(window), inner = pane(window), deep = pushButton(window), sibling = pushButton(window);
    ASSERT_EQ(EmbedControl(inner, outer), noErr);
    ASSERT_EQ(EmbedControl(deep, inner), noErr);
    const ControlID shared = { 'acct', 7 }, otherSignature = { 'prnt', 7 };
    ASSERT_EQ(SetControlID(deep, &shared), noErr);
    ASSERT_EQ(SetControlID(sibling, &shared), noErr);

    ControlRef found = kSentinelControl;
    EXPECT_EQ(GetControlByID(window, &shared, &found), noErr);
    EXPECT_EQ(found, deep) << "breadth-first would find the sibling (" << sibling << ") first";
    found = kSentinelControl;
    EXPECT_EQ(GetControlByID(window, &otherSignature, &found), errUnknownControl) << "the signature must match too";
    EXPECT_EQ(found, nullptr);
    found = kSentinelControl;
    EXPECT_EQ(GetControlByID(nullptr, &shared, &found), errInvalidWindowRef);
    EXPECT_EQ(found, nullptr);
}

TEST_F(ControlTest, EmbedControlMovesTheSubtreeIntoAPaneOfAnotherWindow)
{
    ControlRef moving = pane(window), child = pushButton(window);
    ASSERT_EQ(EmbedControl(child, moving), noErr);
    const ControlID id = { 'acct', 3 };
    ASSERT_EQ(SetControlID(child, &id), noErr);
    ControlRef found = kSentinelControl;
    ASSERT_EQ(SetWindowDefaultButton(window, child), noErr);
    EXPECT_EQ(GetWindowDefaultButton(window, &found), noErr);
    EXPECT_EQ(found, child);

    WindowRef other = newWindow();
    ControlRef host = pane(other);
    ASSERT_EQ(EmbedControl(moving, host), noErr);
    EXPECT_EQ(parentOf(moving), host);
    EXPECT_EQ(parentOf(child), moving);
    EXPECT_EQ(GetControlOwner(child), other);
    EXPECT_EQ(GetControlByID(other, &id, &found), noErr);
    EXPECT_EQ(found, child);
    EXPECT_EQ(GetControlByID(window, &id, &found), errUnknownControl);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(GetWindowDefaultButton(window, &found), noErr);
    EXPECT_EQ(found, nullptr) << "the old window's default button left with the subtree";

    const long controls = live("control");
    DisposeWindow(other);
    EXPECT_EQ(live("control"), controls - 4) << "root, host, moved pane and its button go with the new window";
}

TEST_F(ControlTest, EmbedIntoSelfDescendantsOrNonEmbeddersIsRefusedAndDisposeTakesTheSubtree)
{
    ControlRef outer = pane(window), inner = pane(window), button = pushButton(window), root = nullptr;
    ASSERT_EQ(EmbedControl(inner, outer), noErr);
    ASSERT_EQ(GetRootControl(window, &root), noErr);
    EXPECT_EQ(EmbedControl(outer, outer), errCantEmbedIntoSelf);
    EXPECT_EQ(EmbedControl(outer, inner), errCantEmbedIntoSelf);
    EXPECT_EQ(EmbedControl(inner, button), errControlIsNotEmbedder);
    EXPECT_EQ(EmbedControl(root, outer), errCantEmbedRoot);
    EXPECT_EQ(EmbedControl(button, nullptr), errInvalidControlRef);
    EXPECT_EQ(parentOf(outer), root);
    EXPECT_EQ(parentOf(inner), outer);
    EXPECT_EQ(parentOf(button), root);

    // Disposing of a control takes its subtree, and a default button inside it is forgotten.
    const long controls = live("control");
    ASSERT_EQ(SetWindowDefaultButton(window, inner), noErr);
    DisposeControl(outer);
    EXPECT_EQ(live("control"), controls - 2);
    EXPECT_EQ(GetControlOwner(inner), nullptr);
    EXPECT_EQ(GetControlOwner(button), window);
    ControlRef defaultButton = kSentinelControl;
    EXPECT_EQ(GetWindowDefaultButton(window, &defaultButton), noErr);
    EXPECT_EQ(defaultButton, nullptr) << "the default button still names a disposed control";
}

TEST_F(ControlTest, HiddenOrDisabledEmbedderHidesOrDisablesWhatIsInside)
{
    ControlRef outer = pane(window), child = pushButton(window);
    ASSERT_EQ(EmbedControl(child, outer), noErr);
    HideControl(outer);
    EXPECT_FALSE(IsControlVisible(child)) << "its own flag is still set, but its embedder is hidden";
    ShowControl(outer);
    EXPECT_TRUE(IsControlVisible(child));
    EXPECT_EQ(SetControlVisibility(child, false, false), noErr);
    EXPECT_FALSE(IsControlVisible(child));
    EXPECT_TRUE(IsControlVisible(outer));

    EXPECT_EQ(DisableControl(outer), noErr);
    EXPECT_FALSE(IsControlEnabled(child));
    EXPECT_EQ(EnableControl(outer), noErr);
    EXPECT_TRUE(IsControlEnabled(child));
    EXPECT_EQ(DisableControl(child), noErr);
    EXPECT_FALSE(IsControlEnabled(child));
    EXPECT_TRUE(IsControlEnabled(outer));
}

// Every call on a control that does not exist leaves everything alone.
void expectIgnored(ControlRef control)
{
    HideControl(control);
    ShowControl(control);
    EXPECT_EQ(SetControlVisibility(control, true, true), errInvalidControlRef);
    EXPECT_NE(EnableControl(control), noErr);
    EXPECT_NE(DisableControl(control), noErr);
    EXPECT_FALSE(IsControlVisible(control) || IsControlEnabled(control));
    SetControlValue(control, 1);
    SetControl32BitValue(control, 1);
    EXPECT_EQ(GetControl32BitValue(control), 0);
    Rect bounds = kSentinelRect;
    EXPECT_EQ(GetControlBounds(control, &bounds), &bounds);
    EXPECT_EQ(bounds, kSentinelRect);
    SetControlBounds(control, &kSomewhere);
    MoveControl(control, 1, 1);
    Draw1Control(control);
    EXPECT_EQ(SetControlData(control, kControlEntireControl, kControlEditTextTextTag, 3, "abc"), errInvalidControlRef);
    char buffer[4] = "###";
    Size actual = -7;
    EXPECT_EQ(GetControlData(control, kControlEntireControl, kControlEditTextTextTag, 3, buffer, &actual), errInvalidControlRef);
    EXPECT_STREQ(buffer, "###");
    EXPECT_EQ(actual, -7);
    DisposeControl(control);
}

TEST_F(ControlTest, NullOrStaleControlRefIsIgnoredByEveryCall)
{
    {
        SCOPED_TRACE("null");
        expectIgnored(nullptr);
    }
    ControlRef text = nullptr;
    ASSERT_EQ(CreateStaticTextControl(window, &kSomewhere, CFSTR("gone"), nullptr, &text), noErr);
    DisposeControl(text);
    SCOPED_TRACE("stale");
    expectIgnored(text);
}

TEST_F(ControlTest, ValuesAreKeptWithinMinimumAndMaximum)
{
    ControlRef control = pane(window);
    SetControl32BitMaximum(control, 100000);
    SetControl32BitMinimum(control, -10);
    const SInt32 cases[][2] = { { 70000, 70000 }, { 100001, 100000 }, { -11, -10 }, { INT32_MIN, -10 }, { INT32_MAX, 100000 } };
    for (const auto& [set, expected] : cases) {
        SetControl32BitValue(control, set);
        EXPECT_EQ(GetControl32BitValue(control), expected) << "set " << set;
    }
    SetControlValue(control, -300);
    EXPECT_EQ(GetControlValue(control), -10);
    SetControlValue(control, 1234);
    SetControl32BitMaximum(control, 50);
    EXPECT_EQ(GetControl32BitValue(control), 50) << "lowering the maximum pulls the value down";
    SetControl32BitMinimum(control, 60);
    EXPECT_EQ(GetControl32BitValue(control), 60) << "raising the minimum pushes the value up";

    ControlRef box = nullptr, radio = nullptr;
    ASSERT_EQ(CreateCheckBoxControl(window, &kSomewhere, CFSTR("B"), 9, true, &box), noErr);
    ASSERT_EQ(CreateRadioButtonControl(window, &kSomewhere, CFSTR("R"), -4, true, &radio), noErr);
    EXPECT_EQ(GetControl32BitValue(box), kControlCheckBoxMixedValue) << "initial value clamped";
    EXPECT_EQ(GetControl32BitValue(radio), kControlRadioButtonUncheckedValue) << "initial value clamped";
    EXPECT_EQ(GetControl32BitMaximum(radio), kControlRadioButtonMixedValue);
}

TEST_F(ControlTest, PopupRangeFollowsItsMenuWhichItKeepsAlive)
{
    ControlRef popup = nullptr;
    ASSERT_EQ(CreatePopupButtonControl(window, &kSomewhere, CFSTR("Printer"), -12345, false, 0, 0, 0, &popup), noErr);
    MenuRef menu = menuWith({ "Letter", "Legal", "A4" });
    ASSERT_EQ(ChangeMenuItemAttributes(menu, 2, kMenuItemAttrHidden, 0), noErr);
    ASSERT_EQ(SetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu), noErr);
    const long menus = live("menu");
    ReleaseMenu(menu);
    EXPECT_EQ(live("menu"), menus) << "the popup holds its own reference";
    EXPECT_EQ(GetControl32BitValue(popup), 1);
    EXPECT_EQ(GetControl32BitMinimum(popup), 1);
    EXPECT_EQ(GetControl32BitMaximum(popup), 3);
    SetControlValue(popup, 2);
    EXPECT_EQ(GetControlValue(popup), 2) << "a hidden item can still be the value";

    MenuRef read = nullptr;
    Size actual = 0;
    EXPECT_EQ(GetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof read, &read, &actual), noErr);
    EXPECT_EQ(read, menu);
    actual = 0;
    EXPECT_EQ(GetControlDataSize(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, &actual), noErr);
    EXPECT_EQ(actual, static_cast<Size>(sizeof(MenuRef)));
    EXPECT_EQ(SetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, 2, &menu), errDataSizeMismatch);

    // A shorter menu in its place releases the first and pulls the value into the new range.
    MenuRef shorter = menuWith({ "Only" });
    ASSERT_EQ(SetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof shorter, &shorter), noErr);
    ReleaseMenu(shorter);
    EXPECT_EQ(live("menu"), menus) << "the first menu was not released, or the second not kept";
    EXPECT_EQ(GetControl32BitMaximum(popup), 1);
    EXPECT_EQ(GetControl32BitValue(popup), 1);
    DisposeControl(popup);
    EXPECT_EQ(live("menu"), menus - 1);
}

TEST_F(ControlTest, TextTagRoundTripsAndTruncatesIntoSmallBuffers)
{
    ControlRef stat = nullptr, edit = nullptr;
    ASSERT_EQ(CreateStaticTextControl(window, &kSomewhere, CFSTR("Initial"), nullptr, &stat), noErr);
    ASSERT_EQ(CreateEditTextControl(window, &kSomewhere, CFSTR("Initial"), false, true, nullptr, &edit), noErr);
    for (ControlRef control : { stat, edit }) {
        SCOPED_TRACE(control == stat ? "static text" : "edit text");
        char buffer[32] = {};
        Size actual = 0;
        EXPECT_EQ(GetControlData(control, kControlEntireControl, kControlEditTextTextTag, sizeof buffer, buffer, &actual), noErr);
        EXPECT_EQ(std::string(buffer, actual), "Initial") << "text given at creation";

        const std::string text = "Account 4711";
        ASSERT_EQ(SetControlData(control, kControlEntireControl, kControlEditTextTextTag, text.size(), text.data()), noErr);
        EXPECT_EQ(GetControlData(control, kControlEntireControl, kControlEditTextTextTag, sizeof buffer, buffer, &actual), noErr);
        EXPECT_EQ(std::string(buffer, actual), text);
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(GetControlData(control, kControlEntireControl, kControlEditTextTextTag, 4, buffer, &actual), noErr);
        EXPECT_EQ(std::string(buffer, 6), "Acco##") << "only the first bytes, nothing past the buffer";
        EXPECT_EQ(actual, static_cast<Size>(text.size()));
    }
    char buffer[8] = "#######";
    Size actual = -7;
    ControlRef button = pushButton(window);
    EXPECT_EQ(GetControlData(stat, kControlEntireControl, 'zzzz', sizeof buffer, buffer, &actual), errDataNotSupported);
    EXPECT_EQ(GetControlData(button, kControlEntireControl, kControlEditTextTextTag, sizeof buffer, buffer, &actual),
        errDataNotSupported);
    EXPECT_EQ(SetControlData(stat, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof(MenuRef), &button),
        errDataNotSupported);
    EXPECT_STREQ(buffer, "#######");
    EXPECT_EQ(actual, -7);
}

TEST_F(ControlTest, BoundsAreInWindowCoordinatesAndMoveControlCarriesEmbeddedControls)
{
    ControlRef outer = pane(window, { 10, 20, 110, 220 }), child = pushButton(window, { 30, 40, 50, 90 });
    ASSERT_EQ(EmbedControl(child, outer), noErr);
    Rect bounds = kSentinelRect;
    EXPECT_EQ(*GetControlBounds(child, &bounds), (Rect { 30, 40, 50, 90 })) << "embedding does not change window coordinates";
    MoveControl(outer, 100, 50); // h, v: left 20 -> 100, top 10 -> 50
    EXPECT_EQ(*GetControlBounds(outer, &bounds), (Rect { 50, 100, 150, 300 }));
    EXPECT_EQ(*GetControlBounds(child, &bounds), (Rect { 70, 120, 90, 170 }));
    SetControlBounds(child, &kSomewhere);
    EXPECT_EQ(*GetControlBounds(outer, &bounds), (Rect { 50, 100, 150, 300 })) << "the embedder does not follow its child";
}

TEST_F(ControlTest, PropertiesAreKeptPerCreatorAndTag)
{
    ControlRef control = pane(window);
    const double cost = 12.5;
    double read = 0;
    UInt32 size = 99;
    ASSERT_EQ(SetControlProperty(control, 'acct', 'cost', sizeof cost, &cost), noErr);
    EXPECT_EQ(GetControlPropertySize(control, 'acct', 'cost', &size), noErr);
    EXPECT_EQ(size, sizeof cost);
    EXPECT_EQ(GetControlProperty(control, 'acct', 'cost', sizeof read, &size, &read), noErr);
    EXPECT_EQ(read, cost);
    EXPECT_EQ(GetControlProperty(control, 'othr', 'cost', sizeof read, &size, &read), errControlPropertyNotFound);
    EXPECT_EQ(GetControlProperty(control, 'acct', 'name', sizeof read, &size, &read), errControlPropertyNotFound);
    EXPECT_EQ(RemoveControlProperty(control, 'acct', 'cost'), noErr);
    EXPECT_EQ(GetControlPropertySize(control, 'acct', 'cost', &size), errControlPropertyNotFound);
    EXPECT_EQ(RemoveControlProperty(control, 'acct', 'cost'), errControlPropertyNotFound);
}

TEST_F(MenuTest, ItemsKeepTextAndAttributesAndOutOfRangeItemsAreRefused)
{
    MenuRef menu = menuWith({ "Letter", "Legal" });
    EXPECT_EQ(CountMenuItems(menu), 2);
    CFStringRef text = nullptr;
    ASSERT_EQ(CopyMenuItemTextAsCFString(menu, 2, &text), noErr);
    char utf8[16] = "";
    CFStringGetCString(text, utf8, sizeof utf8, kCFStringEncodingUTF8);
    EXPECT_STREQ(utf8, "Legal");
    CFRelease(text);

    MenuItemAttributes attributes = 0xDEAD;
    EXPECT_EQ(ChangeMenuItemAttributes(menu, 1, kMenuItemAttrHidden | kMenuItemAttrDisabled, 0), noErr);
    EXPECT_EQ(ChangeMenuItemAttributes(menu, 1, 0, kMenuItemAttrDisabled), noErr);
    EXPECT_EQ(GetMenuItemAttributes(menu, 1, &attributes), noErr);
    EXPECT_EQ(attributes, static_cast<MenuItemAttributes>(kMenuItemAttrHidden));
    EXPECT_EQ(GetMenuItemAttributes(menu, 2, &attributes), noErr);
    EXPECT_EQ(attributes, 0u) << "changing item 1 touched item 2";

    const CFStringRef sentinel = CFSTR("sentinel");
    for (MenuItemIndex item : { 0, 3 }) {
        text = sentinel;
        attributes = 0xDEAD;
        EXPECT_EQ(CopyMenuItemTextAsCFString(menu, item, &text), menuItemNotFoundErr) << "item " << item;
        EXPECT_EQ(GetMenuItemAttributes(menu, item, &attributes), menuItemNotFoundErr) << "item " << item;
        EXPECT_EQ(ChangeMenuItemAttributes(menu, item, kMenuItemAttrHidden, 0), menuItemNotFoundErr) << "item " << item;
        EXPECT_EQ(text, sentinel);
        EXPECT_EQ(attributes, 0xDEADu);
    }
    ReleaseMenu(menu);
}

} // namespace
