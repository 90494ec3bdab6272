// The pane's settings as the programs that play the printing system keep them for a queue and
// send them with a job: the one model, outside the pane, of their keys and kinds, of which of them
// are the codes, of the client they are written under, of how the pane reads them, and of what a
// queue with nothing stored starts from. The pane keeps its own names for the same keys (it is
// what the platform loads, not a library of the programs): the print-settings ticket is where the
// two meet.
#pragma once

#include "program/ProgramsExport.h"
#include "queues/QueueCodes.h"

#include <PrintCore/PMTicketStandIn.h>

#include <string>
#include <string_view>
#include <vector>

class PROGRAMS_EXPORT QueueSettings {
public:
    // The pane's entries: a mode (1 off, 2 Talliant accounting, 3 accounting), whether the codes
    // are asked for when Print is clicked, the two codes, whether each is concealed as it is
    // typed, and the account type.
    enum class Entry {
        Mode,
        Prompt,
        UserID,
        AccountID,
        ConcealUser,
        ConcealAccount,
        AccountType,
    };
    static const char* key(Entry entry);
    // The client every entry is written under.
    static const char* client();
    // Whether the key is one of the pane's entries, and whether the pane reads it as a string;
    // a value of the other kind reads as absent.
    static bool isPaneEntry(std::string_view key);
    static bool readsAsString(std::string_view key);
    // The User ID and the Account ID, and a printer's own codes: secrets, kept out of messages
    // and, with accounting off, out of the job.
    static bool isCode(std::string_view key);

    // A queue whose printer asks for codes of its own (PrinterCodes.h) keeps the pane's mode and
    // prompt entries, each default code under a key of the code's name, and whether the codes are
    // concealed as they are typed (on unless stored off).
    static std::string printerCodeKey(const std::string& name);
    static const char* concealPrinterCodesKey();
    // Whether the key is one of those entries, the store's alone: no job carries them as they
    // are, since a printer takes its codes as its driver expects them (CodeValues.h).
    static bool isPrinterCodesEntry(std::string_view key);
    std::string printerCode(const std::string& name) const;
    bool concealsPrinterCodes() const;
    void setConcealsPrinterCodes(bool conceal);

    // Where a queue's stored settings keep its default codes. The store says so in an entry of its
    // own (storeEntryKey), which is no print setting: printSettings() leaves it out, so that no
    // ticket and no job carries it.
    enum class CodesPlace {
        File, // in the queue's file: stored before the keyring was used, or for want of one
        FileByChoice, // in the queue's file, as the person chose
        Keyring, // in the desktop's keyring, one item for the queue on its server
    };
    static const char* storeEntryKey();

    // What a queue with nothing stored starts from, in printdialog and in the agent alike: a queue
    // set up for accounting needs codes, so accounting is on and the prompt asks for both,
    // concealed as they are typed.
    static QueueSettings unstored();

    QueueSettings() = default;
    explicit QueueSettings(std::vector<StandIn::TicketItem> items);
    const std::vector<StandIn::TicketItem>& items() const { return m_items; }

    // The entries as the pane reads them: of a key given twice the last counts, and an absent
    // entry, or one of the wrong kind, reads as the pane reads it then (mode off, ask for the
    // codes, no code).
    SInt32 mode() const;
    bool accountingOn() const;
    bool asksForCodes() const;
    // Accounting on with the stored default codes, which then go without a prompt.
    bool sendsStoredCodes() const { return accountingOn() && !asksForCodes(); }
    std::string code(Entry entry) const;
    QueueCodes codes() const;
    CodesPlace codesPlace() const;
    // Every entry but the store's own.
    std::vector<StandIn::TicketItem> printSettings() const;

    // Sets an integer entry, in place of any it had.
    void set(Entry entry, SInt32 value);
    // The codes, in place of any the settings had; none at all when all are empty.
    void setCodes(const QueueCodes& codes);
    void setCodesPlace(CodesPlace place);
    // The settings of a job that went on, as a queue keeps them: the codes typed into the prompt
    // were for that job alone, so with the prompt on the codes kept are those kept before (none
    // when there were none).
    QueueSettings keptAfter(const QueueSettings& before) const;
    // A message (a server's refusal, say) with every code of these settings taken out.
    std::string withoutCodes(std::string message) const;

private:
    const StandIn::TicketItem* find(Entry entry) const;

    std::vector<StandIn::TicketItem> m_items;
};
