// Who plays printdialog's dialog, and answers the windows that come with it (Answerer.h): the
// script given (--script, or a picture alone with --snapshot), or the person on screen.
#pragma once

#include "dialog/Answerer.h"
#include "dialog/PrintDialog.h"
#include "dialog/ScriptActions.h"
#include "dialog/Transcript.h"
#include "printdialog/CommandLine.h"
#include "printdialog/Conversation.h"

#include <memory>
#include <string>

class DialogAnswerer : public Answerer {
public:
    // Whether it can answer at all (the script can be read; a display and the screen module are
    // there): false, with *error saying why, when not.
    virtual bool ready(std::string* error) = 0;
    // How printdialog speaks to the person outside the dialog.
    virtual Conversation& conversation() = 0;
    // Plays the opened dialog to its end, telling transcript; on a queue, the line that the job
    // was printed is left to its submitter. Failed with *error saying why.
    virtual DialogOutcome play(PrintDialog& dialog, Transcript& transcript, bool onQueue, std::string* error) = 0;
};

// The script's lines, read in order; a picture of the dialog as it leaves it with --snapshot.
std::unique_ptr<DialogAnswerer> makeScriptDialogAnswerer(const PrintDialogOptions& options, std::ostream& err);
// The person on screen: the dialog, and every window, through the screen module.
std::unique_ptr<DialogAnswerer> makeScreenDialogAnswerer(std::ostream& err);
