// The per-pane state record, the globals beside it, and the identifiers of every control.
#pragma once

#include <HIToolbox/HIToolbox.h>
#include <PrintCore/PrintCore.h>

class ImageImportManager;

// Every control of the pane and of the prompt is found by this signature and a number.
enum { kAccountingControlSignature = 'MVRa' };

enum AccountingControlNumber : SInt32 {
    // The pane, in window "Window".
    kAccountingUserPaneID = 50,
    kNoAccountingTextID = 91,
    kAccountingTypePopupID = 92,
    kAccountingTypeTextID = 93,
    kAccountingPopupID = 100,
    kAccountingIconID = 101,
    kPromptRadioID = 200,
    kConcealUserCheckBoxID = 202,
    kConcealAccountCheckBoxID = 203,
    kUseDefaultRadioID = 300,
    kUserIDTextID = 301,
    kUserIDFieldID = 302,
    kAccountIDTextID = 303,
    kAccountIDFieldID = 304,
    // The print-time prompt, in windows "Talliant" and "Accounting".
    kPromptUserIDFieldID = 501,
    kPromptAccountIDTextID = 502,
    kPromptAccountIDFieldID = 503,
    kPromptAccountTypePopupID = 505,
    kPromptOKButtonID = 1000,
    kPromptCancelButtonID = 1001,
    // The interface file's own fields, renumbered when concealed fields take their place.
    kReplacedUserIDFieldID = 9998,
    kReplacedAccountIDFieldID = 9999,
};

// acctEnabled: the selected item of the accounting popup.
enum AccountingMode : SInt32 {
    kAccountingOff = 1,
    kAccountingTalliant = 2,
    kAccountingWithoutTypes = 3,
};

// A code is at most 79 bytes of text and its terminating NUL.
enum { kCodeBufferSize = 80 };

struct AccountingContext {
    SInt16 whichPicture;
    CFBundleRef theBundleRef;
    CFStringRef theTitleRef;
    SInt32 acctEnabled;
    SInt32 accountType;
    SInt32 prompt;
    SInt32 saveCodes;
    SInt32 concealUser;
    SInt32 concealAccount;
    Boolean cancelled;
    char userID[kCodeBufferSize];
    char acctID[kCodeBufferSize];
    char defUserID[kCodeBufferSize];
    char defAcctID[kCodeBufferSize];
    // Unmoved bounds of the Account ID label and field; a top of 0 means nothing is saved.
    Rect accountIDTextRect;
    Rect accountIDRect;
    bool initialized;
    ControlRef parentUserPane;
    ControlRef accountingUserPane;
    ControlRef accountingPopupRef;
    ControlRef iconRef;
    ControlRef userIDRef;
    ControlRef userIDTextRef;
    ControlRef accountIDRef;
    ControlRef accountIDTextRef;
    ControlRef promptIDRef;
    ControlRef saveCodesIDRef;
    ControlRef concealUserIDRef;
    ControlRef concealAccountIDRef;
    ControlRef useDefaultIDRef;
    ControlRef printButton;
    ControlRef accountingTypePopupRef;
    ControlRef accountingTypeTextRef;
    ControlRef accountingNoAccountingTextRef;
    PMPrintSession printSession;
    WindowRef theWindow;
    WindowRef accountWindow;
    EventHandlerUPP userOptionEventHandlerUPP;
    EventHandlerRef printButtonHandler;
    EventHandlerUPP helpEventHandlerUPP;
    EventHandlerRef helpEventHandlerRef;
    CFBundleRef primaryPDEBundle;
    ImageImportManager* imageImporter;
};
typedef AccountingContext* AccountingContextPtr;

// The context created last; the key filter, which gets no user data, learns the mode here.
extern AccountingContextPtr gContext;
// How many bytes of the prompt's entry fields are read back: 12 in mode 2, 64 in mode 3.
extern int gMaxChars;

// The control of the window with the signature and number, or null (also for a null window).
ControlRef findAccountingControl(WindowRef window, SInt32 number);
