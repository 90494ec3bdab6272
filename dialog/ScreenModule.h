// The screen module: a module of its own in the product's folder (built from screen/,
// which links this library; the build gives the loader its file name), made with Qt Widgets and
// loaded only when the dialog goes on screen or a picture is taken, so that a scripted run
// loads no GUI toolkit.
#pragma once

#include "queues/CodesForm.h"
#include "program/ProgramsExport.h"
#include "queues/ServerPasswords.h"

#include <HIToolbox/HIToolbox.h>
#include <HIToolbox/InputSourceStandIn.h>

#include <string>
#include <vector>

class PrintDialog;

struct ScreenModule {
    // Writes a PNG picture of window, as a person would see it, rendered without a display.
    bool (*snapshot)(WindowRef window, const std::string& path, std::string* error);
    // Puts the dialog on screen and lets the person act on it until the job goes on (Print, or
    // Save in its place) or the dialog is cancelled or closed, or Forget, in a queue's settings
    // window, is confirmed (PrintDialog::forgetChosen). Returns true when the job went on.
    bool (*runOnScreen)(PrintDialog& dialog, std::string* error);
    // For a program that plays one Print click without showing the dialog (the accounting agent):
    // an input source that puts what the click brings up on screen, the prompt as a window of its
    // own, alerts and notices as message boxes that wait to be dismissed. It is not installed:
    // the program hands it the pane's requests. Null, with the reason in *error, without a
    // display. closeClickOnScreen takes its windows off the screen and frees it.
    StandIn::InputSource* (*openClickOnScreen)(PrintDialog& dialog, std::string* error);
    void (*closeClickOnScreen)(StandIn::InputSource* session);
    // The program speaking to its person outside the dialog, in windows titled with the product's
    // name that wait for an answer: a message (false, with the reason in *error, without a
    // display); a choice among items, with the index chosen or -1 for none; a question with two
    // answers, true for the first.
    bool (*showMessage)(const std::string& heading, const std::string& text, std::string* error);
    int (*chooseOne)(const std::string& question, const std::vector<std::string>& items, int preselected, std::string* error);
    bool (*askYesNo)(const std::string& question, const std::string& detail, const std::string& yes, const std::string& no, std::string* error);
    // A print server's demand for the person's password, in a window titled with the server:
    // true with *answer when one was given; false when the person cancelled (*error empty) or
    // there is no display (*error says why).
    bool (*askPassword)(const PasswordQuestion& question, PasswordAnswer* answer, std::string* error);
    // The window of a queue whose printer asks for codes of its own, as a job's prompt or as the
    // queue's settings (CodesForm.h): Accepted fills form from the window; Cancelled leaves it
    // (*error empty); Unanswered, with *error saying why, without a display.
    CodesFormAnswer (*askCodes)(CodesForm* form, std::string* error);
};

// Exported by the module under this name.
#define kScreenModuleEntryPoint "ScreenModuleEntry"

// Whether the person has a display to show windows on (DISPLAY or WAYLAND_DISPLAY).
PROGRAMS_EXPORT bool displayAvailable();

// Loads the module from the product's folder; null, with the reason in *error, when it cannot.
PROGRAMS_EXPORT const ScreenModule* loadScreenModule(std::string* error);

// A picture of the front window through the module: the prompt while it is up, else the Print
// dialog. False, with the reason in *error, when the dialog has gone or no picture can be made.
PROGRAMS_EXPORT bool snapshotFrontWindow(const PrintDialog& dialog, WindowRef prompt, const std::string& path, std::string* error);
