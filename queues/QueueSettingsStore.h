// The user's stored print settings, one print-settings file per CUPS queue on its server:
// FOLDER/QUEUE@SERVER.plist, so that the codes stored for one server's queue go to no other
// server's queue of the same name, as the keyring's item names its server too.
// printdialog starts from them and keeps them when a job goes on or settings are saved for the
// queue; the accounting agent plays each held job with its queue's. The default codes go to the
// desktop's keyring (QueueCodesKeyring.h) when one answers, as one item for the queue on its
// server, and the file then holds none; without one, or by the person's choice, they stay in the
// file, so the folder and the files are the user's alone. The store never keeps codes typed into
// the prompt: those belong to one job.
#pragma once

#include "queues/CupsDestination.h"
#include "program/ProgramsExport.h"
#include "queues/QueueSettings.h"

#include <PrintCore/PMTicketStandIn.h>

#include <functional>
#include <string>
#include <vector>

class PROGRAMS_EXPORT QueueSettingsStore {
public:
    // Where the person wants the default codes kept, as the settings window asks.
    enum class CodesChoice {
        AsBefore, // a job's settings: the file when the person chose it, else the keyring
        Keyring, // the desktop's keyring, or, on a desktop without one, the queue's file
        KeyringOnly, // the desktop's keyring, by the person's choice: without one, nothing is stored
        File, // the queue's file, by the person's choice
    };
    // When the codes kept in the keyring are read with the stored settings.
    enum class CodesRead {
        WhenSent, // only when the settings send them without a prompt: a job needs them then
        Always, // the settings window shows them
    };
    using Warning = std::function<void(const std::string& warning)>;

    // $XDG_CONFIG_HOME/accounting-pane, or ~/.config/accounting-pane when XDG_CONFIG_HOME is unset
    // or not absolute.
    static std::string defaultFolder();

    explicit QueueSettingsStore(std::string folder);
    const std::string& folder() const { return m_folder; }

    // FOLDER/QUEUE@SERVER.plist: QUEUE in lower case, since CUPS takes "Office" and "office" for
    // the same queue, and SERVER as the keyring names it (cupsServerKey), its "/", "%" and "@"
    // written %2F, %25 and %40; empty when the queue is not a CUPS queue name
    // (cupsQueueNameProblem) or the name would be longer than a file's name may be.
    std::string pathOf(const CupsDestination& destination) const;
    // Whether anything lies at the queue's path: a stored file, or something there in its place,
    // which reading then refuses by name rather than passing over it. A file that an earlier
    // version stored under the queue's name alone (FOLDER/QUEUE.plist), which names no server, is
    // taken for the server asked about now: renamed to that server's path, once, and no other
    // server's queue gets it after.
    bool holds(const CupsDestination& destination) const;
    // Makes each missing folder on the way to the store's for the user alone (0700), and refuses
    // a folder that is not the user's alone: another user who could swap the files could choose
    // the codes and settings of every job. False with the reason in *error, naming the folder.
    bool prepareFolder(std::string* error) const;
    // Whether the queue's stored settings can be read: false, with the reason in *problem (naming
    // the file), for a file that holds them and cannot be read.
    bool readable(const CupsDestination& destination, std::string* problem) const;
    // Sets a stored file that cannot be read aside, beside itself, so that the queue starts
    // afresh and nothing of it is lost: the file becomes FILE.unreadable-DATE (never
    // replacing another). *keptAs receives the new path; false, with the reason in *error.
    bool setAside(const CupsDestination& destination, std::string* keptAs, std::string* error) const;
    // The stored settings of the destination's queue, read once; what the file got away with goes
    // to warn, and so does a file holding codes that other users may read. The codes kept in the
    // keyring are read from it (for the destination's server, within its timeout) as read says;
    // an item that is gone from the keyring leaves the settings without codes, and warn says so. False, with the reason in *error, when the file or the keyring's item
    // cannot be read: the keyring's (locked, its unlock prompt dismissed; silent; an item not in
    // this product's format) names the item's queue and server.
    bool load(const CupsDestination& destination, CodesRead read, const Warning& warn, QueueSettings* settings, std::string* error) const;
    // Stores the settings of a job that went on (or of a Save in --configure): every item, except
    // that with prompting on (com.movra.Act.trel.Prm not 0; absent, the pane reads it as 1) the
    // User ID and Account ID stored are the ones stored before (none when there were none), never
    // the codes typed into the prompt. The codes go where choice says, which moves codes stored
    // before: into the keyring first and then the file rewritten without them, so that a failure
    // between the two loses nothing; out of it once the file holds them. Creates the folder (0700)
    // as needed, and refuses one that is not the user's alone; the file is written 0600 by
    // temporary file and rename. A stored file that cannot be read is left as it is. False with the
    // reason in *error, which names the folder, the file or the keyring and never holds a code.
    // *note gets a line for the person setting the codes when they went into the file for want of
    // a keyring, or could not leave the keyring; empty otherwise. Codes go into the file for want
    // of a keyring only on a desktop that has none: a Secret Service that does not answer in
    // time, or none at all when the person chose the keyring (KeyringOnly), stores nothing, and
    // *error says why.
    bool store(const CupsDestination& destination, const std::vector<StandIn::TicketItem>& items, CodesChoice choice, std::string* error,
        std::string* note) const;
    // Removes the queue's stored settings and the codes the keyring keeps for it, the keyring's
    // first: when they cannot go, the file stays too, and *error says why. Nothing stored is no
    // error.
    bool forget(const CupsDestination& destination, std::string* error) const;

private:
    // The path of the destination's queue on its server, an earlier version's file of the queue
    // taken for it first (holds()).
    std::string adoptedPath(const CupsDestination& destination) const;

    std::string m_folder;
};
