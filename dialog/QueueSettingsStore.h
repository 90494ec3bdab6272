// The user's stored print settings, one print-settings file per CUPS queue: FOLDER/QUEUE.plist.
// printdialog starts from them and keeps them when a job goes on or settings are saved for the
// queue; the accounting agent plays each held job with its queue's. They hold the default codes,
// so the folder and the files are the user's alone, and they never hold codes typed into the
// prompt: those belong to one job.
#pragma once

#include "DialogExport.h"

#include <PrintCore/PMTicketStandIn.h>

#include <string>
#include <vector>

class DIALOG_EXPORT QueueSettingsStore {
public:
    // $XDG_CONFIG_HOME/accounting-pane, or ~/.config/accounting-pane when XDG_CONFIG_HOME is unset
    // or not absolute.
    static std::string defaultFolder();

    explicit QueueSettingsStore(std::string folder);
    const std::string& folder() const { return m_folder; }

    // FOLDER/QUEUE.plist, with QUEUE in lower case, since CUPS takes "Office" and "office" for the
    // same queue; empty when queue is not a CUPS queue name (cupsQueueNameProblem).
    std::string pathOf(const std::string& queue) const;
    // Whether anything lies at the queue's path: a stored file, or something there in its place,
    // which reading then refuses by name rather than passing over it.
    bool holds(const std::string& queue) const;
    // Makes each missing folder on the way to the store's for the user alone (0700), and refuses
    // a folder that is not the user's alone: another user who could swap the files could choose
    // the codes and settings of every job. False with the reason in *error, naming the folder.
    bool prepareFolder(std::string* error) const;
    // Whether the queue's stored settings can be read: false, with the reason in *problem (naming
    // the file), for a file that holds them and cannot be read.
    bool readable(const std::string& queue, std::string* problem) const;
    // Sets a stored file that cannot be read aside, beside itself, so that the queue starts
    // afresh and nothing of it is lost: QUEUE.plist becomes QUEUE.plist.unreadable-DATE (never
    // replacing another). *keptAs receives the new path; false, with the reason in *error.
    bool setAside(const std::string& queue, std::string* keptAs, std::string* error) const;
    // Stores the settings of a job that went on (or of a Save in --configure): every item, except
    // that with prompting on (com.movra.Act.trel.Prm not 0; absent, the pane reads it as 1) the
    // User ID and Account ID stored are the ones stored before (none when there were none), never
    // the codes typed into the prompt. Creates the folder (0700) as needed, and refuses one that
    // is not the user's alone; the file is written 0600 by temporary file and rename. A stored
    // file that cannot be read is left as it is. False with the reason in *error, which names the
    // folder or the file and never holds a code.
    bool store(const std::string& queue, const std::vector<StandIn::TicketItem>& items, std::string* error) const;

private:
    std::string m_folder;
};
