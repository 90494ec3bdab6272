// Interface definitions: text read into windows and controls, embedding by indentation,
// malformed text refused with its line, windows built from a description, nib references read
// from files and bundles, and the product's own Accounting.nib.
#include "tests/support/LiveObjects.h"
#include "tests/support/TemporaryTree.h"

#include <HIToolbox/HIToolbox.h>
#include <HIToolbox/InterfaceDefinitionStandIn.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace ID = StandIn::InterfaceDefinition;

static bool operator==(const Rect& a, const Rect& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

namespace {

ID::Description parse(std::string_view text)
{
    ID::ParseResult result = ID::parse(text);
    EXPECT_FALSE(result.error) << "line " << result.error->line << ": " << result.error->message;
    return result.description;
}

std::string utf8Of(CFStringRef string)
{
    char buffer[256] = "<none>";
    CFStringGetCString(string, buffer, sizeof buffer, kCFStringEncodingUTF8);
    return buffer;
}

OSType kindOf(ControlRef control)
{
    ControlKind kind = {};
    GetControlKind(control, &kind);
    return kind.kind;
}

Rect boundsOf(ControlRef control)
{
    Rect bounds = {};
    GetControlBounds(control, &bounds);
    return bounds;
}

ControlRef superOf(ControlRef control)
{
    ControlRef parent = nullptr;
    GetSuperControl(control, &parent);
    return parent;
}

UInt32 commandOf(ControlRef control)
{
    UInt32 command = 0;
    GetControlCommandID(control, &command);
    return command;
}

MenuRef menuOf(ControlRef popup)
{
    MenuRef menu = nullptr;
    GetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr);
    return menu;
}

ControlRef byID(WindowRef window, SInt32 number)
{
    const ControlID id = { 'MVRa', number };
    ControlRef control = nullptr;
    GetControlByID(window, &id, &control);
    return control;
}

bool overlaps(const Rect& a, const Rect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool contains(const Rect& outer, const Rect& inner)
{
    return inner.top >= outer.top && inner.left >= outer.left && inner.bottom <= outer.bottom && inner.right <= outer.right;
}

// Every control of the window with its id number (0 for none), embedders before what they hold.
std::vector<std::pair<SInt32, ControlRef>> everyControl(WindowRef window)
{
    std::vector<std::pair<SInt32, ControlRef>> found;
    ControlRef root = nullptr;
    GetRootControl(window, &root);
    std::vector<ControlRef> pending = { root };
    while (!pending.empty()) {
        ControlRef control = pending.back();
        pending.pop_back();
        UInt16 count = 0;
        CountSubControls(control, &count);
        for (UInt16 index = 1; index <= count; ++index) {
            ControlRef child = nullptr;
            GetIndexedSubControl(control, index, &child);
            ControlID id = {};
            GetControlID(child, &id);
            found.emplace_back(id.id, child);
            pending.push_back(child);
        }
    }
    return found;
}

// A folder of its own, removed with everything in it.
struct ScratchFolder {

    std::string write(const std::string& relative, std::string_view contents) const
    {
        std::filesystem::create_directories((path / relative).parent_path());
        std::ofstream(path / relative, std::ios::binary) << contents;
        return (path / relative).string();
    }

    TemporaryTree tree;
    const std::filesystem::path path = tree.root();
};

const char kEveryKind[] = R"(# one of each kind
window "Sample" class=movable-modal bounds=40,50,240,450 title="Sample \"title\""
  control user-pane id='MVRa',50 bounds=10,10,190,390 enabled=false
    control static-text id='MVRa',91 bounds=10,10,26,200 text="Zürich \\ line\nnext"
    control edit-text id='MVRa',302 bounds=30,10,52,200 text="typed" password
    control popup-button id='MVRa',92 bounds=60,10,80,200 title="Type:" value=3 hidden=2 items="No account", "Account","Department"
  control radio-button id='MVRa',200 bounds=100,10,118,200 title="Ask" value=1
  control check-box id='MVRa',202 bounds=120,10,138,200 title="Hide" value=2 visible=false
  control push-button id='MVRa',1000 bounds=160,300,180,380 title="OK" command='ok  ' default
  control push-button id='MVRa',1001 bounds=160,200,180,280 title="Cancel" cancel
  control push-button bounds=160,10,180,90 title="Help" command='Mhlp'
end
)";

using InterfaceDefinitionParseTest = BalancedTest;

TEST_F(InterfaceDefinitionParseTest, ReadsEveryKindWithItsAttributes)
{
    ID::Description description = parse(kEveryKind);
    ASSERT_EQ(description.windows.size(), 1u);
    const ID::Window& window = description.windows[0];
    EXPECT_EQ(description.window("Sample"), &window);
    EXPECT_EQ(window.line, 2);
    EXPECT_EQ(window.windowClass, WindowClass(kMovableModalWindowClass));
    EXPECT_EQ(window.bounds, (Rect { 40, 50, 240, 450 }));
    EXPECT_EQ(window.title, "Sample \"title\"");

    const auto& controls = window.controls;
    ASSERT_EQ(controls.size(), 9u);
    EXPECT_FALSE(controls[0].enabled);
    EXPECT_EQ(controls[1].text, "Zürich \\ line\nnext");
    EXPECT_TRUE(controls[2].password);
    EXPECT_EQ(controls[3].kind, kControlKindPopupButton);
    EXPECT_EQ(controls[3].items, (std::vector<std::string> { "No account", "Account", "Department" }));
    EXPECT_EQ(controls[3].value, 3);
    EXPECT_EQ(controls[3].hiddenItems, std::vector<int> { 2 });
    EXPECT_EQ(controls[3].id->id, 92);
    EXPECT_EQ(controls[5].value, 2);
    EXPECT_FALSE(controls[5].visible);
    EXPECT_TRUE(controls[6].isDefault);
    EXPECT_TRUE(controls[7].isCancel);
    EXPECT_FALSE(controls[8].id);
    EXPECT_EQ(controls[8].command, UInt32('Mhlp'));
}

TEST_F(InterfaceDefinitionParseTest, EmbedsEachControlInTheNearestLessIndentedControlAbove)
{
    ID::Description description = parse("window \"W\" bounds=0,0,100,100\n"
                                        "  control user-pane bounds=0,0,100,100\n" // 0 in the root
                                        "      control user-pane bounds=0,0,50,50\n" // 1 in 0
                                        "         control check-box bounds=0,0,9,9\n" // 2 in 1
                                        "\n"
                                        "  # a comment at any indentation\n"
                                        "         control check-box bounds=0,0,9,9\n" // 3 in 1
                                        "      control check-box bounds=0,0,9,9\n" // 4 in 0
                                        "  control check-box bounds=0,0,9,9\n" // 5 in the root
                                        "end\n");
    std::vector<int> parents;
    for (const auto& control : description.windows.at(0).controls)
        parents.push_back(control.parent);
    EXPECT_EQ(parents, (std::vector<int> { -1, 0, 1, 1, 0, -1 }));
}

TEST_F(InterfaceDefinitionParseTest, AcceptsByteOrderMarkCarriageReturnsAndValuesAtTheirLimits)
{
    ID::Description description = parse("\xEF\xBB\xBF# heading\r\n"
                                        "window \"A#b\" bounds=-32768, -32768 ,32767,+32767 # comment\r\n"
                                        "end");
    ASSERT_EQ(description.windows.size(), 1u);
    EXPECT_EQ(description.windows[0].name, "A#b");
    EXPECT_EQ(description.windows[0].bounds, (Rect { -32768, -32768, 32767, 32767 }));

    std::string largest = "window \"W\" bounds=0,0,1,1\nend\n#";
    largest.resize(ID::kMaximumFileSize, 'x');
    EXPECT_FALSE(ID::parse(largest).error);
    ID::ParseResult tooLarge = ID::parse(largest + 'x');
    ASSERT_TRUE(tooLarge.error);
    EXPECT_EQ(tooLarge.error->line, 0) << "the size is a fault of the whole file";
}

std::string inWindow(const std::string& controlLines)
{
    return "window \"W\" bounds=0,0,100,100\n" + controlLines + "end\n";
}

std::string control(const std::string& rest)
{
    return inWindow("  control " + rest + "\n");
}

std::string nestedPanes(int depth)
{
    std::string lines;
    for (int level = 1; level <= depth; ++level)
        lines += std::string(static_cast<size_t>(level) * 2, ' ') + "control user-pane bounds=0,0,9,9\n";
    return inWindow(lines);
}

TEST_F(InterfaceDefinitionParseTest, RefusesMalformedTextNamingTheLineAtFault)
{
    struct Malformed {
        std::string text;
        int line;
        const char* message;
    };
    const Malformed cases[] = {
        { inWindow("  widget\n"), 2, "unknown keyword 'widget'" },
        { control("slider bounds=0,0,1,1"), 2, "unknown control kind 'slider'" },
        { control("check-box bounds=0,0,1,1 colour=red"), 2, "'colour' is not an attribute of a check-box" },
        { control("static-text bounds=0,0,1,1 title=\"x\""), 2, "(it shows text=" },
        { "window \"W\" class=dialog bounds=0,0,1,1\nend\n", 1, "unknown window class 'dialog'" },
        { control("check-box bounds=0,0,1x,1"), 2, "bad number '1x'" },
        { control("check-box bounds=0,0,+-1,1"), 2, "bad number '+-1'" },
        { control("check-box bounds=0,0,99999999999999999999,1"), 2, "out of range" },
        { control("check-box bounds=0,0,32768,1"), 2, "outside -32768..32767" },
        { control("check-box bounds=10,0,5,1"), 2, "bottom above its top" },
        { control("check-box bounds=0,0,1"), 2, "takes 4 numbers" },
        { control("check-box title=\"x\""), 2, "needs bounds=" },
        { control("check-box bounds=0,0,1,1 title=\"open"), 2, "unterminated string" },
        { control("check-box bounds=0,0,1,1 title=\"a\\qb\""), 2, "unknown escape \\q" },
        { control("check-box bounds=0,0,1,1 title=\"a\x01\""), 2, "control character" },
        { control("check-box bounds=0,0,1,1 command='ok"), 2, "unterminated four-char code" },
        { control("check-box bounds=0,0,1,1 command='ok'"), 2, "4 characters, not 2" },
        { control("check-box bounds=0,0,1,1 id=502"), 2, "id='MVRa',502" },
        { control("check-box bounds=0,0,1,"), 2, "missing after ','" },
        { control("check-box bounds = 0,0,1,1"), 2, "no spaces around '='" },
        { control("check-box bounds=0,0,1,1 bounds=0,0,1,1"), 2, "given twice" },
        { control("push-button bounds=0,0,1,1 default=true"), 2, "takes no value" },
        { control("push-button bounds=0,0,1,1 title=12"), 2, "a string in double quotes" },
        { control("push-button bounds=0,0,1,1 visible=maybe"), 2, "true or false" },
        { control("popup-button bounds=0,0,1,1"), 2, "needs items=" },
        { control("popup-button bounds=0,0,1,1 items=\"a\",\"b\" value=3"), 2, "outside 1..2" },
        { control("popup-button bounds=0,0,1,1 items=\"a\" hidden=0"), 2, "outside 1..1" },
        { control("check-box bounds=0,0,1,1 value=3"), 2, "outside 0..2" },
        { control("push-button bounds=0,0,1,1 default cancel"), 2, "both default and cancel" },
        { inWindow("  control push-button bounds=0,0,1,1 default\n  control push-button bounds=0,0,1,1 default\n"), 3,
            "already has a default button (line 2)" },
        { inWindow("  control check-box id='MVRa',7 bounds=0,0,1,1\n  control check-box id='MVRa',7 bounds=0,0,1,1\n"), 3,
            "duplicate control id 'MVRa',7 (first on line 2)" },
        { "window \"W\" bounds=0,0,1,1\nend\nwindow \"W\" bounds=0,0,1,1\nend\n", 3, "duplicate window name \"W\" (first on line 1)" },
        { "window \"W\" bounds=0,0,1,1\nend\n  control check-box bounds=0,0,1,1\n", 3, "control outside a window" },
        { "window \"W\" bounds=0,0,1,1\n  control check-box bounds=0,0,1,1\n", 1, "not closed with end" },
        { "window \"A\" bounds=0,0,1,1\nwindow \"B\" bounds=0,0,1,1\nend\n", 2, "must be closed with end" },
        { "end\n", 1, "end without a window" },
        { inWindow("control check-box bounds=0,0,1,1\n"), 2, "indent a control further" },
        { inWindow("\tcontrol check-box bounds=0,0,1,1\n"), 2, "spaces, not tabs" },
        { inWindow("  control user-pane bounds=0,0,1,1\n      control check-box bounds=0,0,1,1\n    control check-box bounds=0,0,1,1\n"),
            4, "does not line up" },
        { inWindow("  control push-button bounds=0,0,1,1\n    control check-box bounds=0,0,1,1\n"), 3,
            "only a user-pane can hold controls; line 2 defines a push-button" },
        { nestedPanes(ID::kMaximumNesting + 1), ID::kMaximumNesting + 2, "nested deeper than 16" },
        { "\n# caf\xC3\x28\n", 2, "not valid UTF-8" },
        { "# \xC0\xAF overlong\n", 1, "not valid UTF-8" },
        { "# \xED\xA0\x80 surrogate\n", 1, "not valid UTF-8" },
        { "# \xE2\x82", 1, "not valid UTF-8" },
        { std::string("window \"W\" bounds=0,0,1,1\nend") + '\0' + "\n", 2, "NUL byte" },
    };
    for (const auto& malformed : cases) {
        SCOPED_TRACE(malformed.text);
        ID::ParseResult result = ID::parse(malformed.text);
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->line, malformed.line) << result.error->message;
        EXPECT_NE(result.error->message.find(malformed.message), std::string::npos) << result.error->message;
        EXPECT_TRUE(result.description.windows.empty()) << "a malformed file gives nothing";
    }
    EXPECT_FALSE(ID::parse(nestedPanes(ID::kMaximumNesting)).error) << "the deepest nesting allowed";
}

// Any text either parses or fails on one of its lines; whatever parses also builds.
TEST_F(InterfaceDefinitionParseTest, SurvivesTruncatedAndMutatedText)
{
    const std::string valid = kEveryKind;
    auto check = [](const std::string& text) {
        ID::ParseResult result = ID::parse(text);
        if (result.error) {
            EXPECT_GE(result.error->line, 1);
            EXPECT_LE(result.error->line, 1 + std::count(text.begin(), text.end(), '\n'));
        }
        for (const auto& window : result.description.windows) {
            WindowRef built = nullptr;
            EXPECT_EQ(ID::buildWindow(window, &built), noErr);
            DisposeWindow(built);
        }
    };
    for (size_t length = 0; length <= valid.size(); ++length)
        check(valid.substr(0, length));
    std::mt19937 generator(20240611);
    const char bytes[] = { '"', '\'', '\\', ',', '=', '#', ' ', '\n', '\t', '-', '9', 'x', '\0', '\x80', '\xFF' };
    for (int round = 0; round < 2000; ++round) {
        std::string text = valid;
        for (int edit = 0; edit < 3; ++edit)
            text[generator() % text.size()] = bytes[generator() % sizeof bytes];
        check(text);
    }
}

class InterfaceDefinitionBuildTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        m_description = parse(kEveryKind);
        ASSERT_EQ(ID::buildWindow(m_description.windows.at(0), &window), noErr);
    }
    void TearDown() override
    {
        DisposeWindow(window);
        BalancedTest::TearDown();
    }

    WindowRef window { nullptr };

private:
    ID::Description m_description;
};

TEST_F(InterfaceDefinitionBuildTest, BuildsAHiddenWindowWithEachControlsKindBoundsValueAndEmbedder)
{
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetWindowClassOf(window), WindowClass(kMovableModalWindowClass));
    Rect content = {};
    GetWindowContentBounds(window, &content);
    EXPECT_EQ(content, (Rect { 40, 50, 240, 450 }));

    ControlRef root = nullptr;
    GetRootControl(window, &root);
    struct Expected {
        SInt32 number;
        OSType kind;
        ControlRef embedder;
    };
    for (auto [number, kind, embedder] : {
             Expected { 50, kControlKindUserPane, root },
             Expected { 91, kControlKindStaticText, byID(window, 50) },
             Expected { 302, kControlKindEditUnicodeText, byID(window, 50) },
             Expected { 92, kControlKindPopupButton, byID(window, 50) },
             Expected { 200, kControlKindRadioButton, root },
             Expected { 202, kControlKindCheckBox, root },
             Expected { 1000, kControlKindPushButton, root },
         }) {
        SCOPED_TRACE(number);
        ASSERT_NE(byID(window, number), nullptr);
        EXPECT_EQ(kindOf(byID(window, number)), kind);
        EXPECT_EQ(superOf(byID(window, number)), embedder);
    }
    EXPECT_EQ(boundsOf(byID(window, 1001)), (Rect { 160, 200, 180, 280 }));
    EXPECT_EQ(GetControl32BitValue(byID(window, 202)), 2);
    EXPECT_FALSE(IsControlVisible(byID(window, 202)));
    EXPECT_FALSE(IsControlEnabled(byID(window, 302))) << "disabled through its pane";

    char clear[16] = {};
    Size size = 0;
    ASSERT_EQ(GetControlData(byID(window, 302), 0, kControlEditTextPasswordTag, sizeof clear, clear, &size), noErr);
    EXPECT_EQ(std::string(clear, static_cast<size_t>(size)), "typed");
}

TEST_F(InterfaceDefinitionBuildTest, GivesPopupsTheirMenuAndTheWindowItsButtonsAndCommands)
{
    MenuRef menu = menuOf(byID(window, 92));
    ASSERT_EQ(CountMenuItems(menu), 3);
    for (MenuItemIndex index = 1; index <= 3; ++index) {
        MenuItemAttributes attributes = 0;
        GetMenuItemAttributes(menu, index, &attributes);
        EXPECT_EQ((attributes & kMenuItemAttrHidden) != 0, index == 2) << "item " << index;
    }
    EXPECT_EQ(GetControl32BitValue(byID(window, 92)), 3) << "set within the menu's range, not clamped before it";

    ControlRef button = nullptr;
    GetWindowDefaultButton(window, &button);
    EXPECT_EQ(button, byID(window, 1000));
    GetWindowCancelButton(window, &button);
    EXPECT_EQ(button, byID(window, 1001));
    EXPECT_EQ(commandOf(byID(window, 1000)), UInt32('ok  '));
}

class NibReferenceTest : public BalancedTest {
protected:
    ScratchFolder folder;
};

TEST_F(NibReferenceTest, IsACountedObjectThatBuildsANewWindowOnEveryCallAndRefusesBadArguments)
{
    std::string path = folder.write("Sample.nib", kEveryKind);
    long liveBefore = PlatformLiveObjectCount();
    IBNibRef nib = nullptr;
    ASSERT_EQ(ID::createNibReferenceFromFile(path.c_str(), &nib), noErr);
    EXPECT_EQ(PlatformLiveObjectCount(), liveBefore + 1);
    WindowRef first = nullptr;
    WindowRef second = nullptr;
    EXPECT_EQ(CreateWindowFromNib(nib, CFSTR("Sample"), &first), noErr);
    EXPECT_EQ(CreateWindowFromNib(nib, CFSTR("Sample"), &second), noErr);
    EXPECT_NE(first, second);
    DisposeWindow(first);
    DisposeWindow(second);

    WindowRef window = reinterpret_cast<WindowRef>(0x5e17);
    EXPECT_EQ(CreateWindowFromNib(nib, CFSTR("Missing"), &window), kIBCarbonRuntimeCantFindObject);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(CreateWindowFromNib(nullptr, CFSTR("Sample"), &window), paramErr);
    EXPECT_EQ(CreateWindowFromNib(nib, nullptr, &window), paramErr);
    EXPECT_EQ(CreateWindowFromNib(nib, CFSTR("Sample"), nullptr), paramErr);
    IBNibRef other = reinterpret_cast<IBNibRef>(0x5e17);
    EXPECT_EQ(CreateNibReferenceWithCFBundle(nullptr, CFSTR("Sample"), &other), paramErr);
    EXPECT_EQ(other, nullptr);

    const SInt32 one = 1;
    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &one);
    auto notANib = reinterpret_cast<IBNibRef>(const_cast<void*>(static_cast<const void*>(number)));
    EXPECT_EQ(CreateWindowFromNib(notANib, CFSTR("Sample"), &window), paramErr);
    DisposeNibReference(notANib);
    EXPECT_EQ(CFGetRetainCount(number), 1) << "only nib references are disposed of";
    CFRelease(number);
    DisposeNibReference(nib);
}

TEST_F(NibReferenceTest, TellsMissingFilesFromMalformedOnesOnStandardError)
{
    IBNibRef nib = reinterpret_cast<IBNibRef>(0x5e17);
    EXPECT_EQ(ID::createNibReferenceFromFile((folder.path / "Missing.nib").c_str(), &nib), kIBCarbonRuntimeCantFindNibFile);
    EXPECT_EQ(nib, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ID::createNibReferenceFromFile(folder.path.c_str(), &nib), kIBCarbonRuntimeCantFindNibFile) << "a folder";
    testing::internal::GetCapturedStderr();

    std::string broken = folder.write("Broken.nib", "# fine\nwindow \"W\" bounds=0,0,1,1\n  control dial bounds=0,0,1,1\nend\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(ID::createNibReferenceFromFile(broken.c_str(), &nib), kIBCarbonRuntimeMalformedNibFile);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), broken + ":3: unknown control kind 'dial'\n");

    std::string large = folder.write("Large.nib", std::string(4 * ID::kMaximumFileSize, '#'));
    testing::internal::CaptureStderr();
    EXPECT_EQ(ID::createNibReferenceFromFile(large.c_str(), &nib), kIBCarbonRuntimeMalformedNibFile);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), large + ":0: larger than 1 MiB\n");
    EXPECT_EQ(nib, nullptr);
}

TEST_F(NibReferenceTest, FindsTheFileInABundlesResources)
{
    folder.write("Test.bundle/Contents/Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>CFBundleIdentifier</key><string>com.example.nib-test</string></dict></plist>
)");
    folder.write("Test.bundle/Contents/Resources/Sample.nib", kEveryKind);
    folder.write("Test.bundle/Contents/Resources/Broken.nib", "end\n");
    std::string bundlePath = (folder.path / "Test.bundle").string();
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(bundlePath.c_str()),
        static_cast<CFIndex>(bundlePath.size()), true);
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
    CFRelease(url);
    ASSERT_NE(bundle, nullptr);

    IBNibRef nib = nullptr;
    WindowRef window = nullptr;
    EXPECT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("Sample"), &nib), noErr);
    EXPECT_EQ(CreateWindowFromNib(nib, CFSTR("Sample"), &window), noErr);
    DisposeWindow(window);
    DisposeNibReference(nib);
    EXPECT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("Missing"), &nib), kIBCarbonRuntimeCantFindNibFile);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("Broken"), &nib), kIBCarbonRuntimeMalformedNibFile);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Broken.nib:1: end without a window\n"), std::string::npos);
    CFRelease(bundle);
}

// The product's interface definition, read from the source tree.
class AccountingNibTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        ASSERT_EQ(ID::createNibReferenceFromFile(ACCOUNTING_RESOURCES_DIR "/Accounting.nib", &m_nib), noErr);
    }
    void TearDown() override
    {
        for (WindowRef window : m_windows)
            DisposeWindow(window);
        DisposeNibReference(m_nib);
        BalancedTest::TearDown();
    }

    WindowRef open(CFStringRef name)
    {
        WindowRef window = nullptr;
        EXPECT_EQ(CreateWindowFromNib(m_nib, name, &window), noErr);
        m_windows.push_back(window);
        return window;
    }

    static void expectControls(WindowRef window, const std::map<SInt32, OSType>& required)
    {
        for (auto [number, kind] : required) {
            ASSERT_NE(byID(window, number), nullptr) << "control " << number;
            EXPECT_EQ(kindOf(byID(window, number)), kind) << "control " << number;
        }
    }

    // Controls shown together (all but those set apart) never cover the same spot, and every
    // control lies inside the window.
    static void expectTidyLayout(WindowRef window, std::vector<SInt32> apart = {})
    {
        Rect content = {};
        GetWindowContentBounds(window, &content);
        const Rect local = { 0, 0, static_cast<SInt16>(content.bottom - content.top), static_cast<SInt16>(content.right - content.left) };
        std::vector<std::pair<SInt32, ControlRef>> leaves;
        for (auto [number, control] : everyControl(window)) {
            EXPECT_TRUE(contains(local, boundsOf(control))) << "control " << number << " lies outside the window";
            UInt16 children = 0;
            CountSubControls(control, &children);
            if (children == 0 && std::find(apart.begin(), apart.end(), number) == apart.end())
                leaves.emplace_back(number, control);
        }
        for (size_t i = 0; i < leaves.size(); ++i) {
            for (size_t j = i + 1; j < leaves.size(); ++j) {
                EXPECT_FALSE(overlaps(boundsOf(leaves[i].second), boundsOf(leaves[j].second)))
                    << "controls " << leaves[i].first << " and " << leaves[j].first << " overlap";
            }
        }
    }

private:
    IBNibRef m_nib { nullptr };
    std::vector<WindowRef> m_windows;
};

TEST_F(AccountingNibTest, PaneWindowHoldsEveryPaneControlInsideUserPane50)
{
    WindowRef window = open(CFSTR("Window"));
    expectControls(window, {
                               { 50, kControlKindUserPane },
                               { 91, kControlKindStaticText },
                               { 92, kControlKindPopupButton },
                               { 93, kControlKindStaticText },
                               { 100, kControlKindPopupButton },
                               { 101, kControlKindUserPane },
                               { 200, kControlKindRadioButton },
                               { 202, kControlKindCheckBox },
                               { 203, kControlKindCheckBox },
                               { 300, kControlKindRadioButton },
                               { 301, kControlKindStaticText },
                               { 302, kControlKindEditUnicodeText },
                               { 303, kControlKindStaticText },
                               { 304, kControlKindEditUnicodeText },
                           });
    ControlRef pane = byID(window, 50);
    for (auto [number, control] : everyControl(window)) {
        if (control != pane) {
            EXPECT_EQ(superOf(control), pane) << "control " << number;
            EXPECT_TRUE(contains(boundsOf(pane), boundsOf(control))) << "control " << number;
        }
    }
    EXPECT_EQ(CountMenuItems(menuOf(byID(window, 100))), 3);
    EXPECT_EQ(CountMenuItems(menuOf(byID(window, 92))), 3);
}

TEST_F(AccountingNibTest, PaneLayoutStaysClearWithAccountingOnOffAndWithoutTypes)
{
    WindowRef window = open(CFSTR("Window"));
    // On: everything but the text that takes the controls' place when accounting is off.
    expectTidyLayout(window, { 91 });
    EXPECT_FALSE(overlaps(boundsOf(byID(window, 91)), boundsOf(byID(window, 100))));
    EXPECT_FALSE(overlaps(boundsOf(byID(window, 91)), boundsOf(byID(window, 101))));

    // Without types the pane hides 92 and 93 and moves label 303 to the top of 93, and field
    // 304 to 8 below the moved label, both keeping their heights.
    Rect typeLabel = boundsOf(byID(window, 93));
    Rect label = boundsOf(byID(window, 303));
    Rect field = boundsOf(byID(window, 304));
    EXPECT_EQ(label.left, typeLabel.left) << "the label moves straight up";
    EXPECT_LT(boundsOf(byID(window, 92)).bottom, label.top) << "the type popup stands above the Account ID";
    EXPECT_EQ(field.top - label.bottom, 8) << "the pair looks the same before and after the move";
    Rect movedLabel = { typeLabel.top, label.left, static_cast<SInt16>(typeLabel.top + label.bottom - label.top), label.right };
    Rect movedField = { static_cast<SInt16>(movedLabel.bottom + 8), field.left,
        static_cast<SInt16>(movedLabel.bottom + 8 + field.bottom - field.top), field.right };
    for (auto [number, control] : everyControl(window)) {
        if (number == 50 || number == 91 || number == 92 || number == 93 || number == 303 || number == 304)
            continue;
        EXPECT_FALSE(overlaps(movedLabel, boundsOf(control))) << "the moved label meets control " << number;
        EXPECT_FALSE(overlaps(movedField, boundsOf(control))) << "the moved field meets control " << number;
    }
}

TEST_F(AccountingNibTest, PromptsHoldTheirFieldsAndButtonsInATidyLayout)
{
    for (bool talliant : { true, false }) {
        SCOPED_TRACE(talliant ? "Talliant" : "Accounting");
        WindowRef window = open(talliant ? CFSTR("Talliant") : CFSTR("Accounting"));
        std::map<SInt32, OSType> required = { { 501, kControlKindEditUnicodeText }, { 502, kControlKindStaticText },
            { 503, kControlKindEditUnicodeText }, { 1000, kControlKindPushButton }, { 1001, kControlKindPushButton } };
        if (talliant)
            required[505] = kControlKindPopupButton;
        expectControls(window, required);
        EXPECT_EQ(byID(window, 505) != nullptr, talliant);
        if (talliant) {
            EXPECT_EQ(CountMenuItems(menuOf(byID(window, 505))), 3);
            EXPECT_EQ(GetControl32BitValue(byID(window, 505)), 1);
        }
        CFStringRef title = nullptr;
        CopyWindowTitleAsCFString(window, &title);
        EXPECT_EQ(utf8Of(title), "Accounting");
        CFRelease(title);

        ControlRef button = nullptr;
        GetWindowDefaultButton(window, &button);
        EXPECT_EQ(button, byID(window, 1000));
        GetWindowCancelButton(window, &button);
        EXPECT_EQ(button, byID(window, 1001));
        auto controls = everyControl(window);
        auto help = std::find_if(controls.begin(), controls.end(), [](auto& entry) { return commandOf(entry.second) == UInt32('Mhlp'); });
        ASSERT_NE(help, controls.end());
        EXPECT_EQ(kindOf(help->second), kControlKindPushButton);
        EXPECT_LT(boundsOf(help->second).right, boundsOf(byID(window, 1001)).left) << "Help at the left";
        EXPECT_LT(boundsOf(byID(window, 1001)).right, boundsOf(byID(window, 1000)).left) << "OK at the right";
        expectTidyLayout(window);
    }
}

}
