#include "Accounting/tests/PaneFixture.h"

#include "Accounting/KeyFilter.h"
#include "Accounting/PaneEventHandler.h"

#include <CoreFoundation/CoreFoundation.h>

#include <ostream>

namespace {

struct ControlSpec {
    SInt32 number;
    OSType kind;
    Rect bounds;
    const char* title;
};

const ControlSpec kPaneControls[] = {
    { kAccountingPopupID, kControlKindPopupButton, { 10, 10, 30, 140 }, "Accounting:" },
    { kAccountingIconID, kControlKindUserPane, { 40, 10, 104, 74 }, nullptr },
    { kNoAccountingTextID, kControlKindStaticText, { 110, 10, 150, 140 }, "Job accounting is off." },
    { kAccountingTypeTextID, kControlKindStaticText, kTypeTextBounds, "Account type:" },
    { kAccountingTypePopupID, kControlKindPopupButton, { 130, 10, 150, 140 }, nullptr },
    { kPromptRadioID, kControlKindRadioButton, { 160, 10, 178, 140 }, "Ask when printing" },
    { kUseDefaultRadioID, kControlKindRadioButton, { 182, 10, 200, 140 }, "Use these codes" },
    { kUserIDTextID, kControlKindStaticText, { 206, 10, 222, 140 }, "User ID:" },
    { kUserIDFieldID, kControlKindEditUnicodeText, { 226, 10, 248, 140 }, nullptr },
    { kAccountIDTextID, kControlKindStaticText, kAccountIDTextBounds, "Account ID:" },
    { kAccountIDFieldID, kControlKindEditUnicodeText, kAccountIDFieldBounds, nullptr },
    { kConcealUserCheckBoxID, kControlKindCheckBox, { 304, 10, 322, 140 }, "Conceal User ID" },
    { kConcealAccountCheckBoxID, kControlKindCheckBox, { 326, 10, 344, 140 }, "Conceal Account ID" },
};

CFStringRef makeString(const char* text)
{
    return CFStringCreateWithCString(kCFAllocatorDefault, text ? text : "", kCFStringEncodingUTF8);
}

MenuRef makeMenu(std::initializer_list<const char*> items)
{
    MenuRef menu = nullptr;
    CreateNewMenu(0, 0, &menu);
    for (const char* item : items) {
        CFStringRef text = makeString(item);
        AppendMenuItemTextWithCFString(menu, text, 0, 0, nullptr);
        CFRelease(text);
    }
    return menu;
}

ControlRef createControl(WindowRef window, const ControlSpec& spec)
{
    ControlRef control = nullptr;
    CFStringRef title = makeString(spec.title);
    switch (spec.kind) {
    case kControlKindPopupButton: {
        CreatePopupButtonControl(window, &spec.bounds, title, 0, false, 0, 0, 0, &control);
        MenuRef menu = spec.number == kAccountingPopupID ? makeMenu({ "Off", "Talliant Accounting", "Accounting" })
                                                         : makeMenu({ "No account", "Account", "Department" });
        SetControlData(control, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu);
        ReleaseMenu(menu);
        break;
    }
    case kControlKindUserPane:
        CreateUserPaneControl(window, &spec.bounds, 0, &control);
        break;
    case kControlKindStaticText:
        CreateStaticTextControl(window, &spec.bounds, title, nullptr, &control);
        break;
    case kControlKindEditUnicodeText:
        CreateEditTextControl(window, &spec.bounds, title, false, false, nullptr, &control);
        break;
    case kControlKindRadioButton:
        CreateRadioButtonControl(window, &spec.bounds, title, 0, false, &control);
        break;
    case kControlKindCheckBox:
        CreateCheckBoxControl(window, &spec.bounds, title, 0, false, &control);
        break;
    }
    CFRelease(title);
    const ControlID controlID = { kAccountingControlSignature, spec.number };
    SetControlID(control, &controlID);
    return control;
}

}

OSStatus recordDraw(EventHandlerCallRef, EventRef event, void* userData)
{
    auto* fixture = static_cast<PaneFixture*>(userData);
    ControlRef drawn = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof drawn, nullptr, &drawn);
    for (auto& [control, count] : fixture->m_draws) {
        if (control == drawn)
            ++count;
    }
    return eventNotHandledErr;
}

OSStatus hostPrints(EventHandlerCallRef, EventRef, void* userData)
{
    ++static_cast<PaneFixture*>(userData)->m_prints;
    return noErr;
}

void PaneFixture::SetUp()
{
    BalancedTest::SetUp();
    const Rect dialogBounds = { 100, 100, 700, 600 };
    CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &dialogBounds, &dialog);
    const Rect parentBounds = { 20, 20, 420, 480 };
    CreateUserPaneControl(dialog, &parentBounds, 0, &parentPane);
    const Rect printBounds = { 560, 400, 580, 480 };
    CFStringRef printTitle = makeString("Print");
    CreatePushButtonControl(dialog, &printBounds, printTitle, &printButton);
    CFRelease(printTitle);
    SetWindowDefaultButton(dialog, printButton);

    PMCreateSession(&session);
    PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &settings);
    auto reference = static_cast<SInt32>(reinterpret_cast<uintptr_t>(settings));
    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &reference);
    PMSessionSetDataInSession(session, kPMPrintSettingsTicketKey, number);
    CFRelease(number);

    context = {};
    context.acctEnabled = kAccountingOff;
    context.accountType = 1;
    gContext = &context;
}

void PaneFixture::TearDown()
{
    DisposeWindow(dialog);
    PMRelease(settings);
    PMRelease(session);
    gContext = nullptr;
    BalancedTest::TearDown();
}

void PaneFixture::buildPane()
{
    const Rect paneBounds = { 0, 0, 378, 150 };
    ControlRef pane = nullptr;
    CreateUserPaneControl(dialog, &paneBounds, 0, &pane);
    const ControlID paneID = { kAccountingControlSignature, kAccountingUserPaneID };
    SetControlID(pane, &paneID);
    EmbedControl(pane, parentPane);
    for (const auto& spec : kPaneControls)
        EmbedControl(createControl(dialog, spec), pane);

    context.parentUserPane = parentPane;
    context.accountingUserPane = control(kAccountingUserPaneID);
    context.accountingPopupRef = control(kAccountingPopupID);
    context.iconRef = control(kAccountingIconID);
    context.promptIDRef = control(kPromptRadioID);
    context.useDefaultIDRef = control(kUseDefaultRadioID);
    context.concealUserIDRef = control(kConcealUserCheckBoxID);
    context.concealAccountIDRef = control(kConcealAccountCheckBoxID);
    context.userIDRef = control(kUserIDFieldID);
    context.accountIDTextRef = control(kAccountIDTextID);
    context.accountIDRef = control(kAccountIDFieldID);
    context.userIDTextRef = control(kUserIDTextID);
    context.accountingNoAccountingTextRef = control(kNoAccountingTextID);
    context.accountingTypePopupRef = control(kAccountingTypePopupID);
    context.accountingTypeTextRef = control(kAccountingTypeTextID);

    static const EventTypeSpec drawEvent = { kEventClassControl, kEventControlDraw };
    InstallEventHandler(GetControlEventTarget(context.accountingUserPane), recordDraw, 1, &drawEvent, this, nullptr);
    for (const auto& spec : kPaneControls)
        m_draws.emplace_back(control(spec.number), 0);
}

void PaneFixture::openDialog()
{
    buildPane();
    static const EventTypeSpec hit = { kEventClassControl, kEventControlHit };
    InstallEventHandler(GetControlEventTarget(printButton), hostPrints, 1, &hit, this, nullptr);
    context.printButton = printButton;
    context.theWindow = dialog;
    InstallEventHandler(GetControlEventTarget(printButton), accountingEventHandler, 1, &hit, &context, nullptr);
    InstallEventHandler(GetControlEventTarget(context.accountingUserPane), accountingEventHandler, 1, &hit, &context, nullptr);
    static const EventTypeSpec command = { kEventClassCommand, kEventCommandProcess };
    InstallEventHandler(GetWindowEventTarget(dialog), accountingEventHandler, 1, &command, &context, nullptr);
    ControlKeyFilterUPP filter = NewControlKeyFilterUPP(accountKeyFilter);
    for (ControlRef field : { context.userIDRef, context.accountIDRef }) {
        SetControlData(field, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof filter, &filter);
        attachContextToField(field, &context);
    }
    ShowWindow(dialog);
}

ControlRef PaneFixture::control(SInt32 number) const
{
    ControlRef found = nullptr;
    const ControlID controlID = { kAccountingControlSignature, number };
    GetControlByID(dialog, &controlID, &found);
    return found;
}

Rect PaneFixture::boundsOf(SInt32 number) const
{
    Rect bounds = {};
    GetControlBounds(control(number), &bounds);
    return bounds;
}

void PaneFixture::setTicketInteger(const char* key, SInt32 value, bool locked)
{
    CFStringRef name = makeString(key);
    PMTicketSetSInt32(settings, CFSTR("com.pmvendor.printingmanager"), name, value, locked);
    CFRelease(name);
}

void PaneFixture::setTicketString(const char* key, const char* value)
{
    CFStringRef name = makeString(key);
    PMTicketSetCString(settings, CFSTR("com.pmvendor.printingmanager"), name, value, false);
    CFRelease(name);
}

bool PaneFixture::ticketInteger(const char* key, SInt32* value) const
{
    CFStringRef name = makeString(key);
    OSStatus status = PMTicketGetSInt32(settings, kPMTopLevel, kPMTopLevel, name, value);
    CFRelease(name);
    return status == noErr;
}

std::string PaneFixture::ticketString(const char* key) const
{
    char value[1024] = "<absent>";
    CFStringRef name = makeString(key);
    PMTicketGetCString(settings, kPMTopLevel, kPMTopLevel, name, sizeof value, kCFStringEncodingUTF8, value);
    CFRelease(name);
    return value;
}

int PaneFixture::drawCount(SInt32 number) const
{
    ControlRef wanted = control(number);
    for (const auto& [drawn, count] : m_draws) {
        if (drawn == wanted)
            return count;
    }
    return 0;
}

void PaneFixture::resetDrawCounts()
{
    for (auto& entry : m_draws)
        entry.second = 0;
}

bool operator==(const Rect& a, const Rect& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

std::ostream& operator<<(std::ostream& out, const Rect& r)
{
    return out << "(" << r.top << ", " << r.left << ", " << r.bottom << ", " << r.right << ")";
}
