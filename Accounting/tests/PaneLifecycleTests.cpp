#include "tests/support/LiveObjects.h"
#include "tests/support/TestBundles.h"
#include "Accounting/PaneConstruction.h"
#include "Accounting/PaneLifecycle.h"
#include "tests/support/RecordingInputSource.h"
#include "tests/support/TemporaryTree.h"
#include "tests/support/TestPPDFiles.h"
#include "Accounting/TicketSync.h"

#include <Help/AppleHelp.h>
#include <HIToolbox/HIToolboxStandIn.h>
#include <HIToolbox/UserActionsStandIn.h>

#include <string>
#include <vector>

namespace {

const std::string kExamples = EXAMPLES_DIR;

PMTicketRef ticketIn(PMPrintSession session, CFStringRef key)
{
    PMTicketRef ticket = nullptr;
    PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &ticket);
    auto reference = static_cast<SInt32>(reinterpret_cast<uintptr_t>(ticket));
    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &reference);
    PMSessionSetDataInSession(session, key, number);
    CFRelease(number);
    return ticket;
}

// Every control the window holds, at any depth.
int controlCount(WindowRef window)
{
    ControlRef root = nullptr;
    GetRootControl(window, &root);
    int count = 0;
    std::vector<ControlRef> pending = { root };
    while (!pending.empty()) {
        ControlRef container = pending.back();
        pending.pop_back();
        UInt16 children = 0;
        CountSubControls(container, &children);
        for (UInt16 i = 1; i <= children; ++i) {
            ControlRef child = nullptr;
            GetIndexedSubControl(container, i, &child);
            pending.push_back(child);
            ++count;
        }
    }
    return count;
}

// The host's own handler behind the pane's: a Print click that reaches it prints.
OSStatus hostPrints(EventHandlerCallRef, EventRef, void* prints)
{
    ++*static_cast<int*>(prints);
    return noErr;
}

// The printing system's side, made by hand: the Accounting bundle, a session for a printer,
// and a dialog window with a parent pane and a Print button.
class LifecycleTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        bundle = openBundleAt(ACCOUNTING_BUNDLE_DIR);
        ASSERT_NE(bundle, nullptr);
        PMCreateSession(&session);
        settings = ticketIn(session, kPMPrintSettingsTicketKey);
        const Rect bounds = { 0, 0, 500, 600 };
        CreateNewWindow(kDocumentWindowClass, 0, &bounds, &dialog);
        const Rect paneBounds = { 20, 20, 420, 420 };
        CreateUserPaneControl(dialog, &paneBounds, 0, &parentPane);
        const Rect printBounds = { 440, 500, 460, 580 };
        CreatePushButtonControl(dialog, &printBounds, CFSTR("Print"), &printButton);
        SetWindowDefaultButton(dialog, printButton);
        static const EventTypeSpec hit = { kEventClassControl, kEventControlHit };
        InstallEventHandler(GetControlEventTarget(printButton), hostPrints, 1, &hit, &prints, nullptr);
        // The printer driver's primary extension puts its bundle on the Print button.
        primaryBundle = openBundleAt(PRIMARY_PDE_BUNDLE_DIR);
        ASSERT_NE(primaryBundle, nullptr);
        CFURLRef primaryURL = CFBundleCopyBundleURL(primaryBundle);
        ASSERT_EQ(AHRegisterHelpBookWithURL(primaryURL), noErr);
        CFRelease(primaryURL);
        SetControlProperty(printButton, kPMPrimaryPDEPropertyCreator, kPMPrimaryPDEBundleTag, sizeof primaryBundle, &primaryBundle);
        ShowWindow(dialog);
    }

    void TearDown() override
    {
        if (info)
            PMRelease(info);
        PMRelease(settings);
        PMRelease(session);
        DisposeWindow(dialog);
        CFRelease(primaryBundle);
        CFRelease(bundle);
        BalancedTest::TearDown();
    }

    void usePrinter(const std::string& ppd)
    {
        info = ticketIn(session, kPMPrinterInfoTicketKey);
        PMTicketSetCString(info, CFSTR("test"), kPMPrinterInfoPPDPathKey, ppd.c_str(), false);
    }

    AccountingContextPtr prologue()
    {
        PMPDEContext context = nullptr;
        OSType creator = 0;
        CFStringRef kind = nullptr;
        CFStringRef title = nullptr;
        UInt32 maxH = 0, maxV = 0;
        EXPECT_EQ(Prologue(&context, &creator, &kind, &title, &maxH, &maxV), noErr);
        return static_cast<AccountingContextPtr>(context);
    }

    OSStatus initialize(AccountingContextPtr context)
    {
        PMPDEFlags flags = 0;
        ::testing::internal::CaptureStderr();
        OSStatus status = Initialize(context, &flags, nullptr, parentPane, session);
        ::testing::internal::GetCapturedStderr();
        return status;
    }

    std::string summary(AccountingContextPtr context)
    {
        CFArrayRef titles = nullptr;
        CFArrayRef summaries = nullptr;
        EXPECT_EQ(GetSummaryText(context, &titles, &summaries), noErr);
        char text[64] = {};
        CFStringGetCString(static_cast<CFStringRef>(CFArrayGetValueAtIndex(summaries, 0)), text, sizeof text, kCFStringEncodingUTF8);
        EXPECT_EQ(CFArrayGetCount(titles), 1);
        CFRelease(titles);
        CFRelease(summaries);
        return text;
    }

    void clickPrint()
    {
        std::string error;
        ASSERT_EQ(StandIn::clickControl(printButton, &error), noErr) << error;
    }

    // The dialog's Help, as its help button sends it; true when a help page opened.
    bool helpOpens()
    {
        input.clear();
        EXPECT_EQ(StandIn::sendCommand(dialog, 'help', nullptr), noErr);
        return input.events().size() == 1 && input.events()[0].find("M_accounting_dialog.htm") != std::string::npos;
    }

    CFBundleRef bundle { nullptr };
    CFBundleRef primaryBundle { nullptr };
    int prints { 0 };
    PMPrintSession session { nullptr };
    PMTicketRef settings { nullptr };
    PMTicketRef info { nullptr };
    WindowRef dialog { nullptr };
    ControlRef parentPane { nullptr };
    ControlRef printButton { nullptr };
    RecordingInputSource input;
};

TEST_F(LifecycleTest, PrologueAnnouncesThePaneAndMakesAFreshContext)
{
    PMPDEContext context = nullptr;
    OSType creator = 0;
    CFStringRef kind = nullptr;
    CFStringRef title = nullptr;
    UInt32 maxH = 0, maxV = 0;
    ASSERT_EQ(Prologue(&context, &creator, &kind, &title, &maxH, &maxV), noErr);
    auto* myContext = static_cast<AccountingContextPtr>(context);
    EXPECT_EQ(creator, static_cast<OSType>('pde '));
    EXPECT_TRUE(CFEqual(kind, CFSTR("com.movra.print.pde.AccountingKind")));
    EXPECT_TRUE(CFEqual(title, CFSTR("Accounting")));
    EXPECT_EQ(maxH, 150u);
    EXPECT_EQ(maxV, 378u);
    EXPECT_EQ(gContext, myContext);
    EXPECT_EQ(myContext->acctEnabled, 1);
    EXPECT_EQ(myContext->accountType, 1);
    EXPECT_EQ(myContext->prompt, 0);
    EXPECT_EQ(myContext->theBundleRef, bundle);
    EXPECT_EQ(Terminate(context, noErr), noErr);
    EXPECT_EQ(gContext, nullptr) << "nothing can reach the freed context through the global";
}

TEST_F(LifecycleTest, AMovraPrinterGetsTheSettingsAndThePrintButtonHook)
{
    usePrinter(kExamples + "/Movra-RK7700.ppd");
    PMTicketSetSInt32(settings, CFSTR("c"), CFSTR("com.movra.Act.trel.On"), 3, false);
    AccountingContextPtr context = prologue();
    ASSERT_EQ(initialize(context), noErr);
    EXPECT_EQ(context->parentUserPane, parentPane);
    EXPECT_EQ(context->printButton, printButton);
    EXPECT_EQ(context->theWindow, dialog);
    EXPECT_EQ(context->acctEnabled, 3);
    EXPECT_NE(context->printButtonHandler, nullptr);
    EXPECT_EQ(summary(context), " Enabled") << "before the pane is built the settings tell";
    EXPECT_EQ(Terminate(context, noErr), noErr);
}

// A printer the pane does not serve: its PPD holds `lines` after `keywordsBefore` other keywords.
struct UnservedPrinterCase {
    const char* name;
    long keywordsBefore;
    const char* lines;
};

void PrintTo(const UnservedPrinterCase& printer, std::ostream* out)
{
    *out << printer.name;
}

class UnservedPrinterTest : public LifecycleTest, public ::testing::WithParamInterface<UnservedPrinterCase> {
protected:
    TemporaryTree tree;
};

TEST_P(UnservedPrinterTest, IsLeftAlone)
{
    std::string ppd = tree.path("printer.ppd.gz");
    writeKeywordFloodPPD(ppd, GetParam().keywordsBefore, GetParam().lines);
    usePrinter(ppd);
    PMTicketSetSInt32(settings, CFSTR("c"), CFSTR("com.movra.Act.trel.On"), 3, false);
    AccountingContextPtr context = prologue();
    ASSERT_EQ(initialize(context), noErr);
    EXPECT_EQ(context->parentUserPane, nullptr);
    EXPECT_EQ(context->printButtonHandler, nullptr);
    EXPECT_EQ(context->acctEnabled, 1) << "no ticket is read";
    EXPECT_EQ(Open(context), noErr);
    EXPECT_FALSE(context->initialized) << "nothing is built without a parent pane";
    EXPECT_EQ(context->userIDRef, nullptr);
    EXPECT_EQ(summary(context), " Disabled");
    clickPrint();
    EXPECT_EQ(prints, 1) << "the Print click goes straight to the host";
    EXPECT_TRUE(input.events().empty()) << "no prompt, no notice";
    EXPECT_EQ(Terminate(context, noErr), noErr);
}

// The last one unpacks to 22 MB: its maker lies past the 16 MiB that are read of a PPD.
INSTANTIATE_TEST_SUITE_P(OfNoKnownMaker, UnservedPrinterTest,
    ::testing::Values(UnservedPrinterCase { "Lumio", 0, "*Manufacturer: \"Lumio\"\n" },
        UnservedPrinterCase { "no maker", 0, "*ModelName: \"Movra RK7700\"\n" },
        UnservedPrinterCase { "MOVRA", 0, "*Manufacturer: \"MOVRA\"\n" }, UnservedPrinterCase { "Movra Inc", 0, "*Manufacturer: \"Movra Inc\"\n" },
        UnservedPrinterCase { "Movra past the size limit", 1500000, "*Manufacturer: \"Movra\"\n" }));

TEST_F(LifecycleTest, InitializeFailuresAreReported)
{
    AccountingContextPtr context = prologue();
    EXPECT_EQ(initialize(context), -30891) << "no printer-info ticket in the session";
    usePrinter("/no/such/printer.ppd");
    EXPECT_NE(initialize(context), noErr);
    EXPECT_EQ(Initialize(nullptr, nullptr, nullptr, parentPane, session), kPMInvalidPDEContext);
    EXPECT_EQ(Initialize(context, nullptr, nullptr, parentPane, nullptr), kPMInvalidPDEContext);
    EXPECT_EQ(Terminate(context, noErr), noErr);
    EXPECT_EQ(Terminate(nullptr, noErr), kPMInvalidPDEContext);
    EXPECT_EQ(Close(nullptr), kPMInvalidPDEContext);
    EXPECT_EQ(Open(nullptr), kPMInvalidPDEContext);
    CFArrayRef titles = reinterpret_cast<CFArrayRef>(0x1);
    CFArrayRef summaries = reinterpret_cast<CFArrayRef>(0x1);
    EXPECT_EQ(GetSummaryText(nullptr, &titles, &summaries), kPMInvalidPDEContext);
    EXPECT_EQ(titles, nullptr);
    EXPECT_EQ(summaries, nullptr);
}

TEST_F(LifecycleTest, OpenBuildsThePaneCentredInTheParentOnce)
{
    usePrinter(kExamples + "/Movra-RK7700.ppd");
    AccountingContextPtr context = prologue();
    ASSERT_EQ(initialize(context), noErr);
    ASSERT_EQ(Open(context), noErr);
    ASSERT_TRUE(context->initialized);
    ASSERT_NE(context->accountingUserPane, nullptr);
    Rect content = {};
    GetControlBounds(context->accountingUserPane, &content);
    // Parent 400 by 400 at (20, 20): the content is centred, odd halves truncated.
    EXPECT_EQ(content.left, 20 + 200 - (content.right - content.left) / 2);
    EXPECT_EQ(content.top, 20 + 200 - (content.bottom - content.top) / 2);
    EXPECT_EQ(GetControlOwner(context->userIDRef), dialog);
    MenuRef menu = nullptr;
    GetControlData(context->accountingPopupRef, 0, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr);
    MenuItemAttributes attributes = 0;
    GetMenuItemAttributes(menu, 2, &attributes);
    EXPECT_TRUE(attributes & kMenuItemAttrHidden) << "Talliant accounting cannot be chosen";
    EXPECT_NE(context->imageImporter, nullptr);

    EXPECT_EQ(Close(context), noErr);
    int controlsBuilt = controlCount(dialog);
    EXPECT_EQ(Open(context), noErr);
    EXPECT_EQ(controlCount(dialog), controlsBuilt) << "a second Open builds nothing";
    EXPECT_EQ(summary(context), " Disabled");

    ASSERT_EQ(StandIn::choosePopupItem(context->accountingPopupRef, 3, nullptr), noErr);
    EXPECT_EQ(summary(context), " Enabled");
    EXPECT_EQ(Close(context), noErr);
    EXPECT_EQ(Terminate(context, noErr), noErr);
}

TEST_F(LifecycleTest, ASecondInitializeLeavesOnePrintHookAndTerminateRemovesIt)
{
    usePrinter(kExamples + "/Movra-RK7700.ppd");
    // Default codes that were never typed: a hooked Print click stops with a notice.
    PMTicketSetSInt32(settings, CFSTR("c"), CFSTR("com.movra.Act.trel.On"), 3, false);
    PMTicketSetSInt32(settings, CFSTR("c"), CFSTR("com.movra.Act.trel.Prm"), 0, false);
    long handlersBefore = StandIn::liveToolboxObjectCount("handler");
    AccountingContextPtr context = prologue();
    ASSERT_EQ(initialize(context), noErr);
    ASSERT_EQ(initialize(context), noErr);
    EXPECT_EQ(StandIn::liveToolboxObjectCount("handler"), handlersBefore + 1) << "one Print hook, not one per Initialize";
    clickPrint();
    EXPECT_EQ(prints, 0);
    EXPECT_EQ(input.events().size(), 1u);

    EXPECT_EQ(Terminate(context, noErr), noErr);

    EXPECT_EQ(StandIn::liveToolboxObjectCount("handler"), handlersBefore) << "no handler is left holding the freed context";
    input.clear();
    clickPrint();
    EXPECT_EQ(prints, 1) << "after Terminate the dialog prints on its own";
    EXPECT_TRUE(input.events().empty());
}

TEST_F(LifecycleTest, TerminateWithoutCloseTakesTheHelpHookAway)
{
    usePrinter(kExamples + "/Movra-RK7700.ppd");
    long handlersBefore = StandIn::liveToolboxObjectCount("handler");
    AccountingContextPtr context = prologue();
    ASSERT_EQ(initialize(context), noErr);
    ASSERT_EQ(Open(context), noErr);
    EXPECT_TRUE(helpOpens());

    EXPECT_EQ(Terminate(context, noErr), noErr);

    EXPECT_FALSE(helpOpens()) << "the dialog's Help no longer reaches the freed context";
    // The pane's controls, with their draw and hit handlers, stay with the dialog window.
    EXPECT_EQ(StandIn::liveToolboxObjectCount("handler"), handlersBefore + 2) << "the Print and help hooks are gone";
}

TEST_F(LifecycleTest, OpenTwiceThenCloseLeavesNoHelpHook)
{
    usePrinter(kExamples + "/Movra-RK7700.ppd");
    AccountingContextPtr context = prologue();
    ASSERT_EQ(initialize(context), noErr);
    ASSERT_EQ(Open(context), noErr);
    ASSERT_EQ(Open(context), noErr);
    EXPECT_TRUE(helpOpens());

    EXPECT_EQ(Close(context), noErr);

    EXPECT_FALSE(helpOpens()) << "the pane is no longer in front";
    EXPECT_TRUE(input.events().empty());
    EXPECT_EQ(Terminate(context, noErr), noErr);
}

TEST_F(LifecycleTest, HelpInAPromptBeforeThePaneWasShownOpensThePage)
{
    usePrinter(kExamples + "/Movra-RK7700.ppd");
    PMTicketSetSInt32(settings, CFSTR("c"), CFSTR("com.movra.Act.trel.On"), 3, false);
    PMTicketSetSInt32(settings, CFSTR("c"), CFSTR("com.movra.Act.trel.Prm"), 1, false);
    AccountingContextPtr context = prologue();
    ASSERT_EQ(initialize(context), noErr);
    input.queue([](WindowRef prompt) { EXPECT_EQ(StandIn::sendCommand(prompt, 'Mhlp', nullptr), noErr); });
    input.queue([](WindowRef prompt) {
        EXPECT_TRUE(IsWindowVisible(prompt)) << "the prompt stays up";
        ControlRef cancel = nullptr;
        const ControlID cancelID = { kAccountingControlSignature, kPromptCancelButtonID };
        GetControlByID(prompt, &cancelID, &cancel);
        EXPECT_EQ(StandIn::clickControl(cancel, nullptr), noErr);
    });

    clickPrint();

    EXPECT_EQ(prints, 0);
    ASSERT_EQ(input.events().size(), 2u);
    EXPECT_EQ(input.events()[0].rfind("help: ", 0), 0u) << input.events()[0];
    EXPECT_NE(input.events()[0].find("Mac_topics/M_accounting_dialog.htm"), std::string::npos) << input.events()[0];
    EXPECT_EQ(input.events()[1].rfind("alert: ", 0), 0u) << input.events()[1];
    EXPECT_EQ(Terminate(context, noErr), noErr);
}

struct SummaryCase {
    SInt32 mode;
    const char* summary;
};

void PrintTo(const SummaryCase& summaryCase, std::ostream* out)
{
    *out << "mode " << summaryCase.mode;
}

class SummaryTest : public LifecycleTest, public ::testing::WithParamInterface<SummaryCase> {
};

// The mode popup shows the low 16 bits of the stored mode: 65536 shows as no mode at all.
TEST_P(SummaryTest, ReadsTheModeAsThePopupShowsItBeforeAndAfterThePaneIsBuilt)
{
    usePrinter(kExamples + "/Movra-RK7700.ppd");
    PMTicketSetSInt32(settings, CFSTR("c"), CFSTR("com.movra.Act.trel.On"), GetParam().mode, false);
    AccountingContextPtr context = prologue();
    ASSERT_EQ(initialize(context), noErr);
    EXPECT_EQ(summary(context), GetParam().summary) << "before the pane is built";
    ASSERT_EQ(Open(context), noErr);
    EXPECT_EQ(summary(context), GetParam().summary) << "once the popup shows the mode";
    EXPECT_EQ(Close(context), noErr);
    EXPECT_EQ(Terminate(context, noErr), noErr);
}

INSTANTIATE_TEST_SUITE_P(OutOfRangeModes, SummaryTest,
    ::testing::Values(SummaryCase { 65536, " Disabled" }, SummaryCase { 65538, " Enabled" }, SummaryCase { -65534, " Enabled" },
        SummaryCase { 7, " Enabled" }, SummaryCase { 0, " Disabled" }, SummaryCase { -1, " Disabled" }));

INSTANTIATE_TEST_SUITE_P(Modes, SummaryTest, ::testing::Values(SummaryCase { 1, " Disabled" }, SummaryCase { 2, " Enabled" }));

}
