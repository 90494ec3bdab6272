// A queue's default codes, wherever they are kept: the pane's two, the User ID and the Account ID,
// on a Movra queue; on a queue whose printer asks for codes of its own (PrinterCodes.h), one per
// code, under the code's name (its PPD option or IPP attribute).
#pragma once

#include <string>
#include <utility>
#include <vector>

// The pane's two are each at most 79 bytes of UTF-8 without control characters, as the pane and
// print settings hold them; either may be empty. A printer's code is at most 255 bytes of what
// its kind allows (CodeValues.h), under a name of letters, digits and "-._" alone.
struct QueueCodes {
    std::string userID;
    std::string accountID;
    std::vector<std::pair<std::string, std::string>> printerCodes {};

    bool empty() const { return userID.empty() && accountID.empty() && printerCodes.empty(); }
    bool operator==(const QueueCodes&) const = default;
};
