// The secret of a queue's codes item, as this product writes it and alone reads: text, so that a
// person who opens the item in the keyring's manager (Seahorse) sees what it holds,
//
//     com.movra.accounting-pane.QueueCodes 1
//     User ID: alice
//     Account ID: 4711
//
// the first line naming the format and its version, and each line ending in a newline. A code
// holds no control character, so no code can end its line early. A queue whose printer asks for
// codes of its own has one line more per code, and the version 2, which the programs that knew
// only the pane's two codes refuse rather than read as the pane's:
//
//     com.movra.accounting-pane.QueueCodes 2
//     User ID:
//     Account ID:
//     Code UserCode: 1234
//     Code LockedPrintPassword: 9876
#pragma once

#include "queues/QueueCodesKeyring.h"

#include <string>
#include <string_view>

constexpr size_t kMaxCodeBytes = 79;

// What keeps text from being a code, or a server's name in an item's attributes, in words that
// never repeat it: not UTF-8, or a control character (U+0000 to U+001F, or DEL), as print
// settings refuse them. Empty when nothing does.
std::string itemTextProblem(std::string_view text);
// The same for a code, which is also at most kMaxCodeBytes long.
std::string queueCodeProblem(std::string_view code);
// The same for a printer's code: its name and value as QueueCodes.h says.
std::string printerCodeProblem(const std::string& name, std::string_view value);

// The secret of codes already checked, in memory that is wiped when it goes, since it holds
// them.
class QueueCodesSecret {
public:
    explicit QueueCodesSecret(const QueueCodes& codes);
    ~QueueCodesSecret();
    QueueCodesSecret(const QueueCodesSecret&) = delete;
    QueueCodesSecret& operator=(const QueueCodesSecret&) = delete;

    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

// The codes of a secret in this format. False when it is not in it, and *codes is left alone.
bool readQueueCodesSecret(std::string_view secret, QueueCodes* codes);
