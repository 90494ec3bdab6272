#include "queues/QueueSettings.h"

#include <algorithm>
#include <iterator>

namespace {

struct PaneEntry {
    QueueSettings::Entry entry;
    const char* key;
    bool isString;
};

constexpr PaneEntry kPaneEntries[] = {
    { QueueSettings::Entry::Mode, "com.movra.Act.trel.On", false },
    { QueueSettings::Entry::Prompt, "com.movra.Act.trel.Prm", false },
    { QueueSettings::Entry::UserID, "com.movra.Act.trel.UID", true },
    { QueueSettings::Entry::AccountID, "com.movra.Act.trel.AID", true },
    { QueueSettings::Entry::ConcealUser, "com.movra.Act.trel.CU", false },
    { QueueSettings::Entry::ConcealAccount, "com.movra.Act.trel.CA", false },
    { QueueSettings::Entry::AccountType, "com.movra.Act.trel.AT", false },
};

constexpr const char* kStoreEntryKey = "com.movra.Act.trel.Kept";
constexpr std::string_view kPrinterCodesPrefix = "com.movra.Act.codes.";
constexpr std::string_view kPrinterCodeKeyPrefix = "com.movra.Act.codes.Code.";
constexpr const char* kConcealPrinterCodesKey = "com.movra.Act.codes.Conceal";
// Its values; without it, the codes are in the file for want of a keyring, or from before.
constexpr const char* kKeptInKeyring = "keyring";
constexpr const char* kKeptInFileByChoice = "file";

constexpr SInt32 kModeOff = 1;
constexpr SInt32 kModeTalliant = 2;
constexpr SInt32 kModeAccounting = 3;

const PaneEntry* paneEntry(std::string_view key)
{
    auto found = std::find_if(std::begin(kPaneEntries), std::end(kPaneEntries), [key](const PaneEntry& entry) { return key == entry.key; });
    return found == std::end(kPaneEntries) ? nullptr : found;
}

}

const char* QueueSettings::key(Entry entry)
{
    return kPaneEntries[static_cast<size_t>(entry)].key;
}

const char* QueueSettings::client()
{
    return "com.pmvendor.printingmanager";
}

bool QueueSettings::isPaneEntry(std::string_view key)
{
    return paneEntry(key) != nullptr;
}

bool QueueSettings::readsAsString(std::string_view key)
{
    const PaneEntry* entry = paneEntry(key);
    return entry && entry->isString;
}

bool QueueSettings::isCode(std::string_view key)
{
    return key == QueueSettings::key(Entry::UserID) || key == QueueSettings::key(Entry::AccountID) || key.starts_with(kPrinterCodeKeyPrefix);
}

std::string QueueSettings::printerCodeKey(const std::string& name)
{
    return std::string(kPrinterCodeKeyPrefix) + name;
}

bool QueueSettings::isPrinterCodesEntry(std::string_view key)
{
    return key.starts_with(kPrinterCodesPrefix);
}

const char* QueueSettings::concealPrinterCodesKey()
{
    return kConcealPrinterCodesKey;
}

std::string QueueSettings::printerCode(const std::string& name) const
{
    std::string wanted = printerCodeKey(name);
    auto last = std::find_if(m_items.rbegin(), m_items.rend(), [&wanted](const StandIn::TicketItem& item) { return item.key == wanted; });
    return last != m_items.rend() && last->isString ? last->string : "";
}

bool QueueSettings::concealsPrinterCodes() const
{
    auto last = std::find_if(m_items.rbegin(), m_items.rend(), [](const StandIn::TicketItem& item) { return item.key == kConcealPrinterCodesKey; });
    return last == m_items.rend() || last->isString || last->integer != 0;
}

void QueueSettings::setConcealsPrinterCodes(bool conceal)
{
    std::erase_if(m_items, [](const StandIn::TicketItem& item) { return item.key == kConcealPrinterCodesKey; });
    m_items.push_back({ kConcealPrinterCodesKey, client(), false, conceal ? 1 : 0, "", false });
}

const char* QueueSettings::storeEntryKey()
{
    return kStoreEntryKey;
}

QueueSettings QueueSettings::unstored()
{
    QueueSettings settings;
    settings.set(Entry::Mode, kModeAccounting);
    settings.set(Entry::Prompt, 1);
    settings.set(Entry::ConcealUser, 1);
    settings.set(Entry::ConcealAccount, 1);
    return settings;
}

QueueSettings::QueueSettings(std::vector<StandIn::TicketItem> items)
    : m_items(std::move(items))
{
}

const StandIn::TicketItem* QueueSettings::find(Entry entry) const
{
    const char* wanted = key(entry);
    auto last = std::find_if(m_items.rbegin(), m_items.rend(), [wanted](const StandIn::TicketItem& item) { return item.key == wanted; });
    if (last == m_items.rend() || last->isString != kPaneEntries[static_cast<size_t>(entry)].isString)
        return nullptr;
    return &*last;
}

SInt32 QueueSettings::mode() const
{
    const StandIn::TicketItem* item = find(Entry::Mode);
    return item ? item->integer : kModeOff;
}

bool QueueSettings::accountingOn() const
{
    SInt32 current = mode();
    return current == kModeTalliant || current == kModeAccounting;
}

bool QueueSettings::asksForCodes() const
{
    const StandIn::TicketItem* item = find(Entry::Prompt);
    return !item || item->integer != 0;
}

std::string QueueSettings::code(Entry entry) const
{
    const StandIn::TicketItem* item = find(entry);
    return item ? item->string : "";
}

QueueCodes QueueSettings::codes() const
{
    QueueCodes codes { code(Entry::UserID), code(Entry::AccountID), {} };
    for (const auto& item : m_items) {
        if (!item.key.starts_with(kPrinterCodeKeyPrefix) || !item.isString || item.string.empty())
            continue;
        std::string name = item.key.substr(kPrinterCodeKeyPrefix.size());
        // Of a key given twice the last counts.
        std::erase_if(codes.printerCodes, [&name](const auto& code) { return code.first == name; });
        codes.printerCodes.emplace_back(std::move(name), item.string);
    }
    return codes;
}

QueueSettings::CodesPlace QueueSettings::codesPlace() const
{
    auto last = std::find_if(m_items.rbegin(), m_items.rend(), [](const StandIn::TicketItem& item) { return item.key == kStoreEntryKey; });
    if (last == m_items.rend() || !last->isString)
        return CodesPlace::File;
    return last->string == kKeptInKeyring ? CodesPlace::Keyring : last->string == kKeptInFileByChoice ? CodesPlace::FileByChoice
                                                                                                      : CodesPlace::File;
}

std::vector<StandIn::TicketItem> QueueSettings::printSettings() const
{
    std::vector<StandIn::TicketItem> items;
    std::copy_if(m_items.begin(), m_items.end(), std::back_inserter(items), [](const StandIn::TicketItem& item) { return item.key != kStoreEntryKey; });
    return items;
}

void QueueSettings::setCodes(const QueueCodes& codes)
{
    std::erase_if(m_items, [](const StandIn::TicketItem& item) { return isCode(item.key); });
    if (codes.empty())
        return;
    if (!codes.userID.empty() || !codes.accountID.empty() || codes.printerCodes.empty()) {
        m_items.push_back({ key(Entry::UserID), client(), true, 0, codes.userID, false });
        m_items.push_back({ key(Entry::AccountID), client(), true, 0, codes.accountID, false });
    }
    for (const auto& [name, value] : codes.printerCodes)
        m_items.push_back({ printerCodeKey(name), client(), true, 0, value, false });
}

void QueueSettings::setCodesPlace(CodesPlace place)
{
    std::erase_if(m_items, [](const StandIn::TicketItem& item) { return item.key == kStoreEntryKey; });
    if (place != CodesPlace::File)
        m_items.push_back({ kStoreEntryKey, client(), true, 0, place == CodesPlace::Keyring ? kKeptInKeyring : kKeptInFileByChoice, false });
}

void QueueSettings::set(Entry entry, SInt32 value)
{
    const char* wanted = key(entry);
    std::erase_if(m_items, [wanted](const StandIn::TicketItem& item) { return item.key == wanted; });
    m_items.push_back({ wanted, client(), false, value, "", false });
}

QueueSettings QueueSettings::keptAfter(const QueueSettings& before) const
{
    if (!asksForCodes())
        return *this;
    std::vector<StandIn::TicketItem> kept;
    std::copy_if(m_items.begin(), m_items.end(), std::back_inserter(kept), [](const StandIn::TicketItem& item) { return !isCode(item.key); });
    std::copy_if(before.m_items.begin(), before.m_items.end(), std::back_inserter(kept), [](const StandIn::TicketItem& item) { return isCode(item.key); });
    return QueueSettings(std::move(kept));
}

std::string QueueSettings::withoutCodes(std::string message) const
{
    for (const auto& item : m_items) {
        if (!isCode(item.key) || !item.isString || item.string.empty())
            continue;
        for (size_t at; (at = message.find(item.string)) != std::string::npos;)
            message.replace(at, item.string.size(), "(code)");
    }
    return message;
}
