#include "QueueCodesSecret.h"

#include <Base/UTF8.h>

#include <cstring>
#include <optional>

namespace {

constexpr std::string_view kFormatLine = "com.movra.accounting-pane.QueueCodes 1\n";
constexpr std::string_view kUserIDLabel = "User ID: ";
constexpr std::string_view kAccountIDLabel = "Account ID: ";

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

QueueCodesSecret::QueueCodesSecret(const QueueCodes& codes)
{
    // Room for the whole text from the start: growing would leave copies of the codes behind.
    m_text.reserve(kFormatLine.size() + kUserIDLabel.size() + kAccountIDLabel.size() + 2 * (kMaxCodeBytes + 1));
    m_text.append(kFormatLine);
    m_text.append(kUserIDLabel).append(codes.userID).append(1, '\n');
    m_text.append(kAccountIDLabel).append(codes.accountID).append(1, '\n');
}

QueueCodesSecret::~QueueCodesSecret()
{
    explicit_bzero(m_text.data(), m_text.size());
}

bool readQueueCodesSecret(std::string_view secret, QueueCodes* codes)
{
    if (secret.substr(0, kFormatLine.size()) != kFormatLine)
        return false;
    size_t at = kFormatLine.size();
    std::optional<std::string_view> userID = codeLine(secret, kUserIDLabel, &at);
    std::optional<std::string_view> accountID = userID ? codeLine(secret, kAccountIDLabel, &at) : std::nullopt;
    if (!accountID || at != secret.size())
        return false;
    codes->userID = *userID;
    codes->accountID = *accountID;
    return true;
}
