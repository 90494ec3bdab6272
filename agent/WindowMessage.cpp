#include "agent/WindowMessage.h"

#include "program/SecretWipe.h"
#include "program/WriteAll.h"

#include <charconv>
#include <cstdint>

namespace {

// A length on the pipe: four bytes, least significant first.
constexpr size_t kLengthBytes = 4;
constexpr size_t kHeaderBytes = 1 + kLengthBytes;

void putLength(std::string& bytes, size_t length)
{
    for (size_t byte = 0; byte < kLengthBytes; ++byte)
        bytes += static_cast<char>((length >> (8 * byte)) & 0xFF);
}

size_t lengthAt(const std::string& bytes, size_t at)
{
    size_t length = 0;
    for (size_t byte = 0; byte < kLengthBytes; ++byte)
        length |= static_cast<size_t>(static_cast<unsigned char>(bytes[at + byte])) << (8 * byte);
    return length;
}

bool knownKind(unsigned char kind)
{
    return kind >= static_cast<unsigned char>(WindowMessage::Kind::PersonReached) && kind <= static_cast<unsigned char>(WindowMessage::Kind::PasswordNotGiven);
}

// A whole number written as a field, and nothing after it.
template<typename Number>
bool numberIn(const std::string& field, Number* number)
{
    auto [end, problem] = std::from_chars(field.data(), field.data() + field.size(), *number);
    return problem == std::errc() && end == field.data() + field.size();
}

// A click outcome's fields before its settings, and each setting's.
constexpr size_t kOutcomeFields = 6;
constexpr size_t kSettingFields = 6;

}

WindowMessage::WindowMessage(Kind kind, std::vector<std::string> fields)
    : m_kind(kind)
    , m_fields(std::move(fields))
{
}

WindowMessage& WindowMessage::operator=(WindowMessage&& other)
{
    wipe();
    m_kind = other.m_kind;
    m_fields = std::move(other.m_fields);
    return *this;
}

WindowMessage::~WindowMessage()
{
    wipe();
}

void WindowMessage::wipe()
{
    for (std::string& field : m_fields)
        wipeSecret(field);
}

WindowMessage WindowMessage::personReached()
{
    return { Kind::PersonReached, {} };
}

WindowMessage WindowMessage::cancelAsked()
{
    return { Kind::CancelAsked, {} };
}

WindowMessage WindowMessage::clickDone(const ClickOutcome& outcome, const std::string& answererState)
{
    std::vector<std::string> fields { std::to_string(static_cast<int>(outcome.kind)), outcome.why, outcome.fault, outcome.noticeHeader,
        outcome.noticeMessage, answererState };
    for (const StandIn::TicketItem& item : outcome.settings) {
        for (std::string field : { item.key, item.client, std::string(item.isString ? "s" : "i"), std::to_string(item.integer), item.string,
                 std::string(item.locked ? "l" : "u") })
            fields.push_back(std::move(field));
    }
    return { Kind::ClickDone, std::move(fields) };
}

WindowMessage WindowMessage::cancelAnswered(CancelAnswer answer, const std::string& why)
{
    return { Kind::CancelAnswered, { std::to_string(static_cast<int>(answer)), why } };
}

WindowMessage WindowMessage::codesAccepted(std::vector<CodeField>& fields)
{
    std::vector<std::string> values;
    for (CodeField& field : fields) {
        values.push_back(field.value);
        wipeSecret(field.value);
    }
    return { Kind::CodesAccepted, std::move(values) };
}

WindowMessage WindowMessage::codesCancelled(const std::string& why)
{
    return { Kind::CodesCancelled, { why } };
}

WindowMessage WindowMessage::codesUnanswered(const std::string& why)
{
    return { Kind::CodesUnanswered, { why } };
}

WindowMessage WindowMessage::passwordGiven(PasswordAnswer& answer)
{
    WindowMessage message { Kind::PasswordGiven, { answer.password, answer.remember ? "r" : "" } };
    wipeSecret(answer.password);
    return message;
}

WindowMessage WindowMessage::passwordNotGiven(const std::string& why)
{
    return { Kind::PasswordNotGiven, { why } };
}

bool WindowMessage::clickDone(ClickOutcome* outcome, std::string* answererState) const
{
    if (m_kind != Kind::ClickDone || m_fields.size() < kOutcomeFields || (m_fields.size() - kOutcomeFields) % kSettingFields != 0)
        return false;
    int kind = 0;
    if (!numberIn(m_fields[0], &kind) || kind < 0 || kind > static_cast<int>(ClickOutcome::Kind::Failed))
        return false;
    ClickOutcome read { static_cast<ClickOutcome::Kind>(kind), m_fields[1], m_fields[2], {}, m_fields[3], m_fields[4] };
    for (size_t at = kOutcomeFields; at < m_fields.size(); at += kSettingFields) {
        StandIn::TicketItem item { m_fields[at], m_fields[at + 1], m_fields[at + 2] == "s", 0, m_fields[at + 4], m_fields[at + 5] == "l" };
        if (!numberIn(m_fields[at + 3], &item.integer))
            return false;
        read.settings.push_back(std::move(item));
    }
    *outcome = std::move(read);
    *answererState = m_fields[5];
    return true;
}

bool WindowMessage::cancelAnswered(CancelAnswer* answer, std::string* why) const
{
    int said = 0;
    if (m_kind != Kind::CancelAnswered || m_fields.size() != 2 || !numberIn(m_fields[0], &said) || said < 0 || said > static_cast<int>(CancelAnswer::Unanswered))
        return false;
    *answer = static_cast<CancelAnswer>(said);
    *why = m_fields[1];
    return true;
}

bool WindowMessage::codesAccepted(std::vector<CodeField>* fields) const
{
    if (m_kind != Kind::CodesAccepted || m_fields.size() != fields->size())
        return false;
    for (size_t index = 0; index < m_fields.size(); ++index) {
        wipeSecret((*fields)[index].value);
        (*fields)[index].value = m_fields[index];
    }
    return true;
}

bool WindowMessage::passwordGiven(PasswordAnswer* answer) const
{
    if (m_kind != Kind::PasswordGiven || m_fields.size() != 2)
        return false;
    wipeSecret(answer->password);
    answer->password = m_fields[0];
    answer->remember = !m_fields[1].empty();
    return true;
}

bool WindowMessage::why(std::string* why) const
{
    if ((m_kind != Kind::CodesCancelled && m_kind != Kind::CodesUnanswered && m_kind != Kind::PasswordNotGiven) || m_fields.size() != 1)
        return false;
    *why = m_fields[0];
    return true;
}

std::string WindowMessage::bytes() const
{
    size_t length = 0;
    for (const std::string& field : m_fields)
        length += kLengthBytes + field.size();
    std::string bytes(1, static_cast<char>(m_kind));
    bytes.reserve(kHeaderBytes + length);
    putLength(bytes, length);
    for (const std::string& field : m_fields) {
        putLength(bytes, field.size());
        bytes += field;
    }
    return bytes;
}

bool WindowMessage::writeTo(int descriptor) const
{
    std::string written = bytes();
    bool whole = writeAll(descriptor, written);
    wipeSecret(written);
    return whole;
}

WindowMessage::Taken WindowMessage::take(std::string& bytes, std::optional<WindowMessage>* message)
{
    if (!bytes.empty() && !knownKind(static_cast<unsigned char>(bytes[0])))
        return Taken::Malformed;
    if (bytes.size() < kHeaderBytes)
        return Taken::Partial;
    size_t length = lengthAt(bytes, 1);
    if (bytes.size() - kHeaderBytes < length)
        return Taken::Partial;
    size_t end = kHeaderBytes + length;
    std::vector<std::string> fields;
    for (size_t at = kHeaderBytes; at < end;) {
        if (end - at < kLengthBytes || end - at - kLengthBytes < lengthAt(bytes, at)) {
            for (std::string& field : fields)
                wipeSecret(field);
            return Taken::Malformed;
        }
        size_t size = lengthAt(bytes, at);
        fields.emplace_back(bytes, at + kLengthBytes, size);
        at += kLengthBytes + size;
    }
    message->emplace(WindowMessage(static_cast<Kind>(bytes[0]), std::move(fields)));
    std::string rest = bytes.substr(end);
    wipeSecret(bytes);
    bytes = std::move(rest);
    return Taken::Whole;
}
