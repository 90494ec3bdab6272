#include "LiveObjects.h"
#include "TestBundles.h"
#include "PaneConstruction.h"
#include "PaneLifecycle.h"
#include "RecordingInputSource.h"
#include "TicketSync.h"

#include <HIToolbox/HIUserActions.h>

#include <string>

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
        ShowWindow(dialog);
    }

    void TearDown() override
    {
        if (info)
            PMRelease(info);
        PMRelease(settings);
        PMRelease(session);
        DisposeWindow(dialog);
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

    CFBundleRef bundle { nullptr };
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

TEST_F(LifecycleTest, AnotherMakersPrinterIsLeftAlone)
{
    usePrinter(kExamples + "/Lumio-LP200.ppd");
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
    EXPECT_EQ(Terminate(context, noErr), noErr);
}

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
    ControlRef userField = context->userIDRef;
    EXPECT_EQ(Open(context), noErr);
    EXPECT_EQ(context->userIDRef, userField) << "a second Open builds nothing";
    EXPECT_EQ(summary(context), " Disabled");

    ASSERT_EQ(HIUserChoosePopupItem(context->accountingPopupRef, 3, nullptr), noErr);
    EXPECT_EQ(summary(context), " Enabled");
    EXPECT_EQ(Close(context), noErr);
    EXPECT_EQ(Terminate(context, noErr), noErr);
}

}
