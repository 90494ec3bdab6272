// The printing system's side of the Print dialog: it loads the Accounting plug-in, makes the
// print session with its tickets, builds the dialog window with the parent pane, Print, Cancel
// and Help, and calls the pane's callbacks in the printing system's order.
#pragma once

#include "program/ProgramsExport.h"
#include "queues/QueueCodes.h"

#include <HIToolbox/HIToolbox.h>
#include <PrintCore/PMTicketStandIn.h>
#include <PrintCore/PrintCore.h>

#include <functional>
#include <string>
#include <vector>

enum class PrintClick {
    Printed, // the job went on: the settings are synced and the dialog is gone
    NotPrinted, // the pane swallowed the click: the dialog stays open
    Failed, // the click could not be made, or the settings could not be synced
};

// What the dialog is for: a job, or the settings of a queue, which a Save button in Print's place
// stores. The pane hooks the window's default button, which stays Print, hidden, so that Save never
// reaches the pane's Print handler and nothing prompts; Print keeps the printer driver's bundle,
// where the pane finds its help book.
enum class DialogPurpose {
    Print,
    Configure,
};

// Hears what a settings file got away with (a key given twice, an entry of the pane of the wrong
// kind), one line at a time, for the program to tell its user in its own name.
using SettingsWarning = std::function<void(const std::string& warning)>;

// What a queue's settings window shows of where its default codes are kept: a line that says so,
// and a check box that keeps them in the queue's file rather than in the desktop's keyring.
struct CodesKeepingShown {
    std::string line;
    bool inFile { false };
};

struct PrintDialogSetup {
    std::string ppdPath;
    std::string settingsPath; // empty: the print-settings ticket holds settingItems
    std::string plugInPath;
    std::string primaryPlugInPath;
    std::string ppdName {}; // the PPD in messages; empty: its path
    SettingsWarning warn {}; // empty: the warnings go unheard
    DialogPurpose purpose { DialogPurpose::Print };
    std::vector<StandIn::TicketItem> settingItems {}; // without a settings file, the settings to start from
    std::string queue {}; // the CUPS queue the dialog is for, which a queue's settings window names
    CodesKeepingShown codesKeeping {}; // in a queue's settings window
    // The queue's stored codes, which the pane offers as its default codes ("Use these codes")
    // although settingItems ask for the codes; empty: the pane reads its defaults from settingItems.
    QueueCodes defaultCodes {};
};

class PROGRAMS_EXPORT PrintDialog {
public:
    PrintDialog() = default;
    ~PrintDialog();

    PrintDialog(const PrintDialog&) = delete;
    PrintDialog& operator=(const PrintDialog&) = delete;

    // Loads everything and calls the factory, QueryInterface, Prologue and Initialize. False,
    // with the reason in *error, when something cannot be loaded or a callback fails. What the
    // settings file got away with goes to setup.warn.
    bool open(const PrintDialogSetup& setup, std::string* error);

    // Open and Close, as the pane comes to the front and goes.
    OSStatus showPane();
    OSStatus hidePane();
    bool paneShown() const { return m_paneShown; }
    // Whether the extension hooked the Print button in Initialize, as it does for a printer it
    // serves: otherwise the Print click goes on without it.
    bool printClickHooked() const { return m_printClickHooked; }
    OSStatus summary(std::string* title, std::string* text);
    // Loads a print-settings file into the ticket, warning as open does, and syncs the pane
    // from it.
    OSStatus preset(const std::string& path, std::string* error);
    // Sets the items in the print-settings ticket and syncs the pane from it.
    OSStatus preset(const std::vector<StandIn::TicketItem>& items);

    WindowRef window() const { return m_window; }
    ControlRef printButton() const { return m_printButton; }
    ControlRef cancelButton() const { return m_cancelButton; }
    ControlRef helpButton() const { return m_helpButton; }
    // Save, in Print's place when the dialog is for a queue's settings; null otherwise.
    ControlRef saveButton() const { return m_saveButton; }
    // A queue's settings window's Forget, which removes the queue's stored settings; null otherwise.
    ControlRef forgetButton() const { return m_forgetButton; }
    const std::string& queue() const { return m_queue; }

    // Clicks Print as the person does: the pane may ask for the codes first (the prompt runs
    // its modal loop inside the click). When the dialog is for a queue's settings, clicks Save
    // in its place: the settings go on without the pane's Print handler.
    PrintClick clickPrint(std::string* error);
    // Clicks Cancel: the dialog goes without Sync.
    bool clickCancel(std::string* error);
    // Clicks Forget in a queue's settings window: the dialog goes without Sync, and the program
    // removes the queue's stored settings (forgetChosen()).
    bool clickForget(std::string* error);
    bool forgetChosen() const { return m_forgetChosen; }
    // Whether the settings window's check box, as Save left it, keeps the codes in the queue's file.
    bool codesInFileChosen() const { return m_codesInFileChosen; }
    bool isOpen() const { return m_window != nullptr; }
    // Cancel, or the end with the dialog open: torn down without Sync.
    void dismiss();
    // Writes the print settings; the file is readable by its owner alone.
    bool saveSettings(const std::string& path, std::string* error);
    std::vector<StandIn::TicketItem> printSettings() const;

private:
    bool loadPlugIn(const std::string& path, std::string* error);
    OSStatus readSettings(const std::string& path, std::string* error);
    void buildWindow(UInt32 paneWidth, UInt32 paneHeight, const PrintDialogSetup& setup);
    void addCodesKeeping(const CodesKeepingShown& shown, SInt16 top, SInt16 width);
    void putPromptOf(const std::vector<StandIn::TicketItem>& items, bool offeringCodes);
    void tearDown();
    static OSStatus hostButtonHit(EventHandlerCallRef, EventRef event, void* userData);

    CFBundleRef m_plugIn { nullptr };
    CFBundleRef m_primaryPlugIn { nullptr };
    IUnknownVTbl** m_instance { nullptr };
    PMPlugInHeaderInterface* m_interface { nullptr };
    const PlugInIntfVTable* m_table { nullptr };
    PMPDEContext m_context { nullptr };
    bool m_terminated { true };
    PMPrintSession m_session { nullptr };
    PMTicketRef m_printSettings { nullptr };
    PMTicketRef m_printerInfo { nullptr };
    WindowRef m_window { nullptr };
    ControlRef m_parentPane { nullptr };
    ControlRef m_printButton { nullptr };
    ControlRef m_cancelButton { nullptr };
    ControlRef m_helpButton { nullptr };
    ControlRef m_saveButton { nullptr };
    ControlRef m_forgetButton { nullptr };
    ControlRef m_codesInFileBox { nullptr };
    std::string m_queue;
    bool m_paneShown { false };
    bool m_printClickHooked { false };
    bool m_printRequested { false };
    bool m_cancelRequested { false };
    bool m_forgetChosen { false };
    bool m_codesInFileChosen { false };
    SettingsWarning m_warn;
};
