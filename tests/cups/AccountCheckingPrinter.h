// A network printer that charges its jobs to accounts, in a process of its own on 127.0.0.1: it
// reads a job's User ID and Account ID from the print data, where the queue's driver put them
// (tests/cups/accounting-test-driver writes them as a head of "User ID: ..." and "Account ID:
// ..." lines and an empty line), prints a job whose codes are the one good pair, and answers any
// other with the account status it was given. It answers what CUPS's ipp backend asks of a
// printer (Get-Printer-Attributes, Validate-Job, Print-Job, Create-Job and Send-Document,
// Get-Jobs, Get-Job-Attributes, Cancel-Job), so that a queue of a private CUPS server prints to
// it through CUPS's own ipp backend.
#pragma once

#include "tests/support/TemporaryTree.h"

#include <cups/ipp.h>

#include <string>
#include <sys/types.h>
#include <vector>

class AccountCheckingPrinter {
public:
    struct Codes {
        std::string userID;
        std::string accountID;
        bool operator==(const Codes&) const = default;
    };

    // A job as the printer received it: the codes its print data carried, and whether it printed.
    struct ReceivedJob {
        Codes codes;
        bool printed { false };
        bool operator==(const ReceivedJob&) const = default;
    };

    AccountCheckingPrinter() = default;
    ~AccountCheckingPrinter();
    AccountCheckingPrinter(const AccountCheckingPrinter&) = delete;
    AccountCheckingPrinter& operator=(const AccountCheckingPrinter&) = delete;

    // Listens on a port that the system chooses; prints only jobs that carry good and refuses
    // every other with refusal (one of the account statuses, 0x049C to 0x049F).
    bool start(const Codes& good, ipp_status_t refusal);
    // The printer's URI, ipp://127.0.0.1:PORT/ipp/print, and the device URI for a queue that
    // prints to it.
    const std::string& uri() const { return m_uri; }
    const std::string& device() const { return m_device; }
    // Every Print-Job received so far, in order.
    std::vector<ReceivedJob> receivedJobs() const;

private:
    TemporaryTree m_folder;
    pid_t m_child { -1 };
    std::string m_uri;
    std::string m_device;
};
