// A queue's two default codes, the User ID and the Account ID, wherever they are kept.
#pragma once

#include <string>

// Each at most 79 bytes of UTF-8 without control characters, as the pane and print settings hold
// them; either may be empty.
struct QueueCodes {
    std::string userID;
    std::string accountID;

    bool empty() const { return userID.empty() && accountID.empty(); }
    bool operator==(const QueueCodes&) const = default;
};
