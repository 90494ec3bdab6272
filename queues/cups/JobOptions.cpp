#include "queues/cups/JobOptions.h"

#include "queues/QueueSettings.h"

JobOptions::JobOptions(const std::vector<StandIn::TicketItem>& items)
{
    QueueSettings settings(items);
    bool accountingOn = settings.accountingOn();
    for (const auto& item : items) {
        // Every job option lands on the driver's command line and in the server's job records;
        // with accounting off nothing needs the codes, so they stay at home.
        if ((!accountingOn && QueueSettings::isCode(item.key)) || QueueSettings::isPrinterCodesEntry(item.key))
            continue;
        add(item.key.c_str(), item.isString ? item.string : std::to_string(item.integer));
    }
    add("job-hold-until", "no-hold");
    if (!accountingOn)
        return;
    for (auto [code, attribute] : { std::pair { QueueSettings::Entry::UserID, "job-accounting-user-id" },
             std::pair { QueueSettings::Entry::AccountID, "job-account-id" } }) {
        if (std::string value = settings.code(code); !value.empty())
            add(attribute, value);
    }
}

JobOptions::~JobOptions()
{
    cupsFreeOptions(m_count, m_options);
}

void JobOptions::add(const char* name, const std::string& value)
{
    m_count = cupsAddOption(name, value.c_str(), m_count, &m_options);
}
