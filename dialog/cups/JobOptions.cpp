#include "JobOptions.h"

namespace {

constexpr const char* kModeKey = "com.movra.Act.trel.On";
constexpr const char* kUserIDKey = "com.movra.Act.trel.UID";
constexpr const char* kAccountIDKey = "com.movra.Act.trel.AID";

const StandIn::TicketItem* findItem(const std::vector<StandIn::TicketItem>& items, const char* key)
{
    for (const auto& item : items) {
        if (item.key == key)
            return &item;
    }
    return nullptr;
}

}

JobOptions::JobOptions(const std::vector<StandIn::TicketItem>& items)
{
    const StandIn::TicketItem* mode = findItem(items, kModeKey);
    bool accountingOn = mode && !mode->isString && (mode->integer == 2 || mode->integer == 3);
    for (const auto& item : items) {
        // Every job option lands on the driver's command line and in the server's job records;
        // with accounting off nothing needs the codes, so they stay at home.
        if (!accountingOn && (item.key == kUserIDKey || item.key == kAccountIDKey))
            continue;
        add(item.key.c_str(), item.isString ? item.string : std::to_string(item.integer));
    }
    add("job-hold-until", "no-hold");
    if (!accountingOn)
        return;
    const StandIn::TicketItem* userID = findItem(items, kUserIDKey);
    const StandIn::TicketItem* accountID = findItem(items, kAccountIDKey);
    if (userID && !userID->string.empty())
        add("job-accounting-user-id", userID->string);
    if (accountID && !accountID->string.empty())
        add("job-account-id", accountID->string);
}

JobOptions::~JobOptions()
{
    cupsFreeOptions(m_count, m_options);
}

void JobOptions::add(const char* name, const std::string& value)
{
    m_count = cupsAddOption(name, value.c_str(), m_count, &m_options);
}

std::string withoutCodes(std::string message, const std::vector<StandIn::TicketItem>& items)
{
    for (const char* key : { kUserIDKey, kAccountIDKey }) {
        const StandIn::TicketItem* code = findItem(items, key);
        if (!code || code->string.empty())
            continue;
        for (size_t at; (at = message.find(code->string)) != std::string::npos;)
            message.replace(at, code->string.size(), "(code)");
    }
    return message;
}
