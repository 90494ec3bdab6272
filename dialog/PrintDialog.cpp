#include "dialog/PrintDialog.h"

#include "program/ProgramTexts.h"
#include "queues/QueueSettings.h"
#include "queues/SettingsFileWarnings.h"
#include "dialog/WindowControls.h"
#include "queues/TicketItems.h"

#include <Help/AppleHelp.h>
#include <HIToolbox/HIToolboxStandIn.h>
#include <HIToolbox/UserActionsStandIn.h>
#include <PrintCore/PMTicketStandIn.h>
#include <PrintCore/PPDLibStandIn.h>

#include <CoreFoundation/CFStandIn.h>

#include <algorithm>

namespace {

#define kHostClientID CFSTR("com.pmvendor.printingmanager")

enum { kDialogHelpCommand = 'help' };

// The Print dialog's pane area: at least the size the extension asks for, and room for a
// pane of the common print-dialog width.
constexpr UInt32 kPaneAreaWidth = 480;
constexpr UInt32 kPaneAreaHeight = 240;
// A queue's settings window's line on where the codes are kept (room for three lines of text, as
// a long path to the queue's file needs) and its check box below.
constexpr SInt16 kCodesKeepingMargin = 20;
constexpr SInt16 kCodesKeepingLineHeight = 48;
constexpr SInt16 kCodesKeepingHeight = kCodesKeepingLineHeight + 8 + 20;

CFURLRef urlForPath(const std::string& path)
{
    CFStringRef text = StandIn::createString(path);
    if (!text)
        return nullptr;
    CFURLRef url = CFURLCreateWithFileSystemPath(kCFAllocatorDefault, text, kCFURLPOSIXPathStyle, true);
    CFRelease(text);
    return url;
}

CFBundleRef openBundle(const std::string& path)
{
    CFURLRef url = urlForPath(path);
    CFBundleRef bundle = url ? CFPlugInCreate(kCFAllocatorDefault, url) : nullptr;
    if (url)
        CFRelease(url);
    return bundle;
}

PMTicketRef newTicket(CFStringRef type)
{
    PMTicketRef ticket = nullptr;
    PMTicketCreate(kCFAllocatorDefault, type, &ticket);
    return ticket;
}

void putTicketInSession(PMPrintSession session, CFStringRef key, PMTicketRef ticket)
{
    auto reference = static_cast<SInt32>(reinterpret_cast<uintptr_t>(ticket));
    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &reference);
    PMSessionSetDataInSession(session, key, number);
    CFRelease(number);
}

ControlRef makeButton(WindowRef window, Rect bounds, const std::string& title, UInt32 command)
{
    ControlRef button = nullptr;
    CFStringRef text = StandIn::createString(title);
    CreatePushButtonControl(window, &bounds, text, &button);
    CFRelease(text);
    SetControlCommandID(button, command);
    return button;
}

}

// Reads a print-settings file into the ticket, and warns of what the file got away with.
OSStatus PrintDialog::readSettings(const std::string& path, std::string* error)
{
    StandIn::SettingsFileReading reading;
    if (OSStatus status = StandIn::readSettingsFile(m_printSettings, path, error, &reading))
        return status;
    if (m_warn) {
        for (const auto& warning : settingsFileWarnings(path, reading))
            m_warn(warning);
    }
    return noErr;
}

PrintDialog::~PrintDialog()
{
    tearDown();
    for (PMTicketRef ticket : { m_printSettings, m_printerInfo }) {
        if (ticket)
            PMRelease(ticket);
    }
}

bool PrintDialog::loadPlugIn(const std::string& path, std::string* error)
{
    m_plugIn = openBundle(path);
    if (!m_plugIn) {
        *error = path + ": not a plug-in bundle (no readable Contents/Info.plist)";
        return false;
    }
    CFUUIDRef type = CFUUIDCreateFromString(kCFAllocatorDefault, CFSTR(kPMPDEPlugInTypeIDStr));
    CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(type, m_plugIn);
    if (CFArrayGetCount(factories) > 0) {
        auto factory = static_cast<CFUUIDRef>(CFArrayGetValueAtIndex(factories, 0));
        m_instance = static_cast<IUnknownVTbl**>(CFPlugInInstanceCreate(kCFAllocatorDefault, factory, type));
    }
    CFRelease(factories);
    CFRelease(type);
    if (!m_instance) {
        *error = path + ": the bundle makes no print-dialog extension";
        return false;
    }
    CFUUIDRef interfaceID = CFUUIDCreateFromString(kCFAllocatorDefault, CFSTR(kPMPDEInterfaceIDStr));
    void* interface = nullptr;
    HRESULT result = (*m_instance)->QueryInterface(m_instance, CFUUIDGetUUIDBytes(interfaceID), &interface);
    CFRelease(interfaceID);
    if (result != S_OK || !interface) {
        *error = path + ": the extension does not answer the print-dialog interface";
        return false;
    }
    m_interface = static_cast<PMPlugInHeaderInterface*>(interface);
    m_table = reinterpret_cast<const PlugInIntfVTable*>(m_interface->vtable);
    return true;
}

// The dialog: the pane area, large enough for what the extension may need, and below it Help
// on the left, Cancel and Print (or Save in its place) on the right. A queue's settings window
// also says, under the pane, where the default codes are kept, with the check box that keeps them
// in the queue's file, and has Forget beside Help.
void PrintDialog::buildWindow(UInt32 paneWidth, UInt32 paneHeight, const PrintDialogSetup& setup)
{
    constexpr SInt16 kMargin = 20;
    constexpr SInt16 kButtonHeight = 20;
    constexpr SInt16 kButtonWidth = 80;
    bool configuring = setup.purpose == DialogPurpose::Configure;
    auto width = static_cast<SInt16>(paneWidth + 2 * kMargin);
    auto height = static_cast<SInt16>(paneHeight + 3 * kMargin + kButtonHeight + (configuring ? kCodesKeepingHeight + kMargin : 0));
    const Rect bounds = { 60, 80, static_cast<SInt16>(60 + height), static_cast<SInt16>(80 + width) };
    CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &m_window);
    m_queue = setup.queue;
    // A queue's settings window names the queue it sets.
    CFStringRef title = StandIn::createString(configuring && !m_queue.empty() ? programText("Settings Window Title", { m_queue })
            : configuring                                                     ? programText("Accounting Settings")
                                                                              : programText("Print"));
    SetWindowTitleWithCFString(m_window, title);
    if (title)
        CFRelease(title);
    const Rect paneBounds = { kMargin, kMargin, static_cast<SInt16>(kMargin + paneHeight), static_cast<SInt16>(kMargin + paneWidth) };
    CreateUserPaneControl(m_window, &paneBounds, 0, &m_parentPane);
    HideControl(m_parentPane);

    auto top = static_cast<SInt16>(paneBounds.bottom + kMargin);
    if (configuring) {
        addCodesKeeping(setup.codesKeeping, top, width);
        top = static_cast<SInt16>(top + kCodesKeepingHeight + kMargin);
    }
    auto bottom = static_cast<SInt16>(top + kButtonHeight);
    auto right = static_cast<SInt16>(width - kMargin);
    m_helpButton = makeButton(m_window, { top, kMargin, bottom, static_cast<SInt16>(kMargin + kButtonWidth) }, programText("Help"), kDialogHelpCommand);
    const Rect printBounds = { top, static_cast<SInt16>(right - kButtonWidth), bottom, right };
    m_printButton = makeButton(m_window, printBounds, programText("Print"), 0);
    m_cancelButton = makeButton(m_window, { top, static_cast<SInt16>(right - 2 * kButtonWidth - 12), bottom, static_cast<SInt16>(right - kButtonWidth - 12) },
        programText("Cancel"), 0);
    SetWindowDefaultButton(m_window, m_printButton);
    SetWindowCancelButton(m_window, m_cancelButton);
    // The printer driver's primary extension names its bundle on the Print button.
    SetControlProperty(m_printButton, kPMPrimaryPDEPropertyCreator, kPMPrimaryPDEBundleTag, sizeof m_primaryPlugIn, &m_primaryPlugIn);
    static const EventTypeSpec hit = { kEventClassControl, kEventControlHit };
    InstallEventHandler(GetControlEventTarget(m_printButton), hostButtonHit, 1, &hit, this, nullptr);
    InstallEventHandler(GetControlEventTarget(m_cancelButton), hostButtonHit, 1, &hit, this, nullptr);
    if (configuring) {
        HideControl(m_printButton);
        m_saveButton = makeButton(m_window, printBounds, programText("Save"), 0);
        InstallEventHandler(GetControlEventTarget(m_saveButton), hostButtonHit, 1, &hit, this, nullptr);
        auto left = static_cast<SInt16>(kMargin + kButtonWidth + 12);
        m_forgetButton = makeButton(m_window, { top, left, bottom, static_cast<SInt16>(left + kButtonWidth) }, programText("Forget"), 0);
    }
    ShowWindow(m_window);
}

void PrintDialog::addCodesKeeping(const CodesKeepingShown& shown, SInt16 top, SInt16 width)
{
    auto right = static_cast<SInt16>(width - kCodesKeepingMargin);
    auto lineBottom = static_cast<SInt16>(top + kCodesKeepingLineHeight);
    const Rect lineBounds = { top, kCodesKeepingMargin, lineBottom, right };
    const Rect boxBounds = { static_cast<SInt16>(lineBottom + 8), kCodesKeepingMargin, static_cast<SInt16>(top + kCodesKeepingHeight), right };
    ControlRef line = nullptr;
    CFStringRef text = StandIn::createString(shown.line);
    CreateStaticTextControl(m_window, &lineBounds, text, nullptr, &line);
    if (text)
        CFRelease(text);
    const ControlID lineID = { kPaneControlSignature, kCodesKeepingLine };
    SetControlID(line, &lineID);
    CFStringRef title = StandIn::createString(programText("Keep Codes In File"));
    CreateCheckBoxControl(m_window, &boxBounds, title, shown.inFile ? kControlCheckBoxCheckedValue : kControlCheckBoxUncheckedValue, true, &m_codesInFileBox);
    if (title)
        CFRelease(title);
    const ControlID boxID = { kPaneControlSignature, kCodesInFileBox };
    SetControlID(m_codesInFileBox, &boxID);
}

bool PrintDialog::open(const PrintDialogSetup& setup, std::string* error)
{
    const std::string& ppdName = setup.ppdName.empty() ? setup.ppdPath : setup.ppdName;
    // The printing system reads the printer's PPD before it offers the printer: a file it cannot
    // read whole is refused here, and the pane, which reads only as far as its question, never
    // sees it.
    StandIn::PPDError ppdError;
    if (StandIn::ppdCheckFile(setup.ppdPath, &ppdError) != noErr) {
        *error = ppdName + ": " + ppdError.describe();
        return false;
    }
    m_warn = setup.warn;
    m_printSettings = newTicket(kPMPrintSettingsTicket);
    if (!setup.settingsPath.empty() && readSettings(setup.settingsPath, error) != noErr)
        return false;
    // The pane takes a ticket's codes as its default codes only from a ticket that sends them (the
    // prompt off): offered codes are read by Initialize from such a ticket, and the prompt as it
    // was stored is read after, which leaves the default codes as they are.
    bool offeringCodes = setup.settingsPath.empty() && !setup.defaultCodes.empty();
    if (setup.settingsPath.empty()) {
        QueueSettings settings(setup.settingItems);
        if (offeringCodes)
            settings.setCodes(setup.defaultCodes);
        for (const auto& item : settings.items())
            putTicketItem(m_printSettings, item);
        if (offeringCodes)
            putPromptOf(settings.items(), true);
    }
    m_printerInfo = newTicket(kPMPrinterInfoTicket);
    PMTicketSetCString(m_printerInfo, kHostClientID, kPMPrinterInfoPPDPathKey, setup.ppdPath.c_str(), true);
    PMCreateSession(&m_session);
    putTicketInSession(m_session, kPMPrintSettingsTicketKey, m_printSettings);
    putTicketInSession(m_session, kPMPrinterInfoTicketKey, m_printerInfo);

    m_primaryPlugIn = openBundle(setup.primaryPlugInPath);
    if (!m_primaryPlugIn) {
        *error = setup.primaryPlugInPath + ": the printer driver's dialog extension cannot be loaded";
        return false;
    }
    CFURLRef primaryURL = CFBundleCopyBundleURL(m_primaryPlugIn);
    AHRegisterHelpBookWithURL(primaryURL);
    CFRelease(primaryURL);
    if (!loadPlugIn(setup.plugInPath, error))
        return false;

    OSType creator = 0;
    CFStringRef kind = nullptr;
    CFStringRef title = nullptr;
    UInt32 maxH = 0;
    UInt32 maxV = 0;
    if (OSStatus status = m_table->Prologue(&m_context, &creator, &kind, &title, &maxH, &maxV)) {
        *error = "the extension's Prologue failed with status " + std::to_string(status);
        return false;
    }
    m_terminated = false;
    buildWindow(std::max(kPaneAreaWidth, maxH), std::max(kPaneAreaHeight, maxV), setup);
    EventTargetRef printTarget = GetControlEventTarget(m_printButton);
    long hostHandlers = StandIn::countEventHandlers(printTarget, kEventClassControl, kEventControlHit);
    PMPDEFlags flags = kPMPDENoFlags;
    OSStatus initialized = m_table->Initialize(m_context, &flags, nullptr, m_parentPane, m_session);
    m_printClickHooked = StandIn::countEventHandlers(printTarget, kEventClassControl, kEventControlHit) > hostHandlers;
    if (OSStatus status = initialized) {
        StandIn::PPDError ppdError = StandIn::ppdLastError();
        std::string why = ppdError.status == status ? ppdError.describe() : "status " + std::to_string(status);
        *error = ppdName + ": the extension could not use the printer's PPD: " + why;
        return false;
    }
    if (offeringCodes && m_printClickHooked) {
        putPromptOf(setup.settingItems, false);
        if (OSStatus status = m_table->Sync(m_context, m_session, true)) {
            *error = "the extension could not read the print settings (status " + std::to_string(status) + ")";
            return false;
        }
    }
    return true;
}

// The prompt entry as items have it (absent, the pane reads it as on), or off while the pane is
// offered codes.
void PrintDialog::putPromptOf(const std::vector<StandIn::TicketItem>& items, bool offeringCodes)
{
    const char* key = QueueSettings::key(QueueSettings::Entry::Prompt);
    auto stored = std::find_if(items.rbegin(), items.rend(), [key](const StandIn::TicketItem& item) { return item.key == key && !item.isString; });
    SInt32 prompt = offeringCodes ? 0 : stored != items.rend() ? stored->integer
                                                               : 1;
    putTicketItem(m_printSettings, { key, QueueSettings::client(), false, prompt, "", false });
}

OSStatus PrintDialog::hostButtonHit(EventHandlerCallRef, EventRef event, void* userData)
{
    auto* dialog = static_cast<PrintDialog*>(userData);
    ControlRef hit = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof hit, nullptr, &hit);
    if (hit == dialog->m_printButton || hit == dialog->m_saveButton)
        dialog->m_printRequested = true;
    else if (hit == dialog->m_cancelButton)
        dialog->m_cancelRequested = true;

    return noErr;
}

OSStatus PrintDialog::showPane()
{
    if (m_paneShown)
        return noErr;
    m_paneShown = true;
    ShowControl(m_parentPane);
    return m_table->Open(m_context);
}

OSStatus PrintDialog::hidePane()
{
    if (!m_paneShown)
        return noErr;
    m_paneShown = false;
    HideControl(m_parentPane);
    return m_table->Close(m_context);
}

OSStatus PrintDialog::summary(std::string* title, std::string* text)
{
    CFArrayRef titles = nullptr;
    CFArrayRef summaries = nullptr;
    OSStatus status = m_table->GetSummaryText(m_context, &titles, &summaries);
    if (status == noErr && titles && summaries) {
        *title = StandIn::toUTF8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(titles, 0)));
        *text = StandIn::toUTF8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(summaries, 0)));
    }
    if (titles)
        CFRelease(titles);
    if (summaries)
        CFRelease(summaries);
    return status;
}

OSStatus PrintDialog::preset(const std::string& path, std::string* error)
{
    if (OSStatus status = readSettings(path, error))
        return status;
    return m_table->Sync(m_context, m_session, true);
}

OSStatus PrintDialog::preset(const std::vector<StandIn::TicketItem>& items)
{
    for (const auto& item : items)
        putTicketItem(m_printSettings, item);
    return m_table->Sync(m_context, m_session, true);
}

PrintClick PrintDialog::clickPrint(std::string* error)
{
    m_printRequested = false;
    if (StandIn::clickControl(m_saveButton ? m_saveButton : m_printButton, error) != noErr)
        return PrintClick::Failed;
    if (!m_printRequested)
        return PrintClick::NotPrinted;
    OSStatus status = m_table->Sync(m_context, m_session, false);
    m_codesInFileChosen = m_codesInFileBox && GetControl32BitValue(m_codesInFileBox) == kControlCheckBoxCheckedValue;
    tearDown();
    if (status != noErr) {
        *error = "the print settings could not be written (status " + std::to_string(status) + ")";
        return PrintClick::Failed;
    }
    return PrintClick::Printed;
}

bool PrintDialog::clickCancel(std::string* error)
{
    m_cancelRequested = false;
    if (StandIn::clickControl(m_cancelButton, error) != noErr)
        return false;
    tearDown();
    return true;
}

bool PrintDialog::clickForget(std::string* error)
{
    if (!m_forgetButton) {
        *error = "only a queue's settings window has Forget";
        return false;
    }
    if (StandIn::clickControl(m_forgetButton, error) != noErr)
        return false;
    m_forgetChosen = true;
    tearDown();
    return true;
}

void PrintDialog::dismiss()
{
    tearDown();
}

std::vector<StandIn::TicketItem> PrintDialog::printSettings() const
{
    return StandIn::ticketItems(m_printSettings);
}

bool PrintDialog::saveSettings(const std::string& path, std::string* error)
{
    return StandIn::writeSettingsFile(m_printSettings, path, error) == noErr;
}

void PrintDialog::tearDown()
{
    if (m_paneShown)
        hidePane();
    if (!m_terminated) {
        m_table->Terminate(m_context, noErr);
        m_terminated = true;
        m_context = nullptr;
    }
    if (m_interface) {
        m_interface->vtable->Release(&m_interface);
        m_table = nullptr;
    }
    if (m_instance) {
        (*m_instance)->Release(m_instance);
        m_instance = nullptr;
    }
    if (m_window) {
        DisposeWindow(m_window);
        m_window = nullptr;
        m_printButton = m_cancelButton = m_helpButton = m_saveButton = m_forgetButton = m_codesInFileBox = m_parentPane = nullptr;
    }
    // The plug-in's code goes with its bundle: nothing of it may run any more.
    if (m_plugIn) {
        CFRelease(m_plugIn);
        m_plugIn = nullptr;
    }
    if (m_primaryPlugIn) {
        CFRelease(m_primaryPlugIn);
        m_primaryPlugIn = nullptr;
    }
    if (m_session) {
        PMRelease(m_session);
        m_session = nullptr;
    }
}
