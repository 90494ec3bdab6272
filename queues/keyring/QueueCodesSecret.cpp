#include "queues/keyring/QueueCodesSecret.h"

#include "program/SecretWipe.h"

#include <Base/UTF8.h>

#include <algorithm>
#include <optional>

namespace {

constexpr std::string_view kFormatLine = "com.movra.accounting-pane.QueueCodes 1\n";
constexpr std::string_view kFormatLineWithPrinterCodes = "com.movra.accounting-pane.QueueCodes 2\n";
constexpr std::string_view kUserIDLabel = "User ID: ";
constexpr std::string_view kAccountIDLabel = "Account ID: ";
constexpr std::string_view kPrinterCodeLabel = "Code ";
constexpr size_t kMaxPrinterCodeBytes = 255;

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

// A printer's code's line at *at ("Code NAME: VALUE"), and *at past it; nothing when the line is
// not such a line.
std::optional<std::pair<std::string, std::string>> printerCodeLine(std::string_view secret, size_t* at)
{
    if (secret.substr(*at, kPrinterCodeLabel.size()) != kPrinterCodeLabel)
        return std::nullopt;
    size_t nameStart = *at + kPrinterCodeLabel.size();
    size_t colon = secret.find(": ", nameStart);
    size_t end = secret.find('\n', nameStart);
    if (colon == std::string_view::npos || end == std::string_view::npos || colon > end)
        return std::nullopt;
    std::string name(secret.substr(nameStart, colon - nameStart));
    std::string_view value = secret.substr(colon + 2, end - colon - 2);
    if (!printerCodeProblem(name, value).empty())
        return std::nullopt;
    *at = end + 1;
    return std::pair { std::move(name), std::string(value) };
}

// The code of the line at *at that starts with label, and *at past the line; nothing when the
// line is not such a line.
std::optional<std::string_view> codeLine(std::string_view secret, std::string_view label, size_t* at)
{
    if (secret.substr(*at, label.size()) != label)
        return std::nullopt;
    size_t start = *at + label.size();
    size_t end = secret.find('\n', start);
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string_view code = secret.substr(start, end - start);
    if (!queueCodeProblem(code).empty())
        return std::nullopt;
    *at = end + 1;
    return code;
}

}

std::string itemTextProblem(std::string_view text)
{
    for (size_t at = 0; at < text.size();) {
        std::optional<StandIn::UTF8::Character> character = StandIn::UTF8::decodeAt(text, at);
        if (!character)
            return "is not UTF-8 text";
        if (character->codePoint < 0x20 || character->codePoint == 0x7f)
            return "holds a control character";
        at += character->length;
    }
    return "";
}

std::string queueCodeProblem(std::string_view code)
{
    if (code.size() > kMaxCodeBytes)
        return "is longer than " + std::to_string(kMaxCodeBytes) + " bytes";
    return itemTextProblem(code);
}

std::string printerCodeProblem(const std::string& name, std::string_view value)
{
    if (name.empty() || !std::all_of(name.begin(), name.end(), isNameCharacter))
        return "has a name that is not a code's";
    if (value.size() > kMaxPrinterCodeBytes)
        return "is longer than " + std::to_string(kMaxPrinterCodeBytes) + " bytes";
    return itemTextProblem(value);
}

QueueCodesSecret::QueueCodesSecret(const QueueCodes& codes)
{
    size_t size = kFormatLine.size() + kUserIDLabel.size() + kAccountIDLabel.size() + 2 * (kMaxCodeBytes + 1);
    for (const auto& [name, value] : codes.printerCodes)
        size += kPrinterCodeLabel.size() + name.size() + 2 + value.size() + 1;
    // Room for the whole text from the start: growing would leave copies of the codes behind.
    m_text.reserve(size);
    m_text.append(codes.printerCodes.empty() ? kFormatLine : kFormatLineWithPrinterCodes);
    m_text.append(kUserIDLabel).append(codes.userID).append(1, '\n');
    m_text.append(kAccountIDLabel).append(codes.accountID).append(1, '\n');
    for (const auto& [name, value] : codes.printerCodes)
        m_text.append(kPrinterCodeLabel).append(name).append(": ").append(value).append(1, '\n');
}

QueueCodesSecret::~QueueCodesSecret()
{
    wipeSecret(m_text);
}

bool readQueueCodesSecret(std::string_view secret, QueueCodes* codes)
{
    bool withPrinterCodes = secret.substr(0, kFormatLineWithPrinterCodes.size()) == kFormatLineWithPrinterCodes;
    if (!withPrinterCodes && secret.substr(0, kFormatLine.size()) != kFormatLine)
        return false;
    size_t at = kFormatLine.size();
    std::optional<std::string_view> userID = codeLine(secret, kUserIDLabel, &at);
    std::optional<std::string_view> accountID = userID ? codeLine(secret, kAccountIDLabel, &at) : std::nullopt;
    if (!accountID)
        return false;
    std::vector<std::pair<std::string, std::string>> printerCodes;
    while (withPrinterCodes && at < secret.size()) {
        auto line = printerCodeLine(secret, &at);
        if (!line)
            return false;
        printerCodes.push_back(std::move(*line));
    }
    // Format 2 is the one with a printer's codes.
    if (at != secret.size() || (withPrinterCodes && printerCodes.empty()))
        return false;
    codes->userID = *userID;
    codes->accountID = *accountID;
    codes->printerCodes = std::move(printerCodes);
    return true;
}
