#include "queues/CodeValues.h"

#include "program/PrintableText.h"
#include "program/ProgramTexts.h"

#include <algorithm>

namespace {

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isCodeCharacter(char c)
{
    return isAsciiDigit(c) || isAsciiLetter(c) || kCodeMarks.find(c) != std::string_view::npos;
}

// Whether c is among the characters declared, as a PPD declares them: single characters and
// ranges ("0-9", "A-Za-z0-9").
bool declared(std::string_view allowed, char c)
{
    for (size_t at = 0; at < allowed.size(); ++at) {
        if (at + 2 < allowed.size() && allowed[at + 1] == '-') {
            if (c >= allowed[at] && c <= allowed[at + 2])
                return true;
            at += 2;
        } else if (allowed[at] == c) {
            return true;
        }
    }
    return false;
}

std::string lengthProblem(const PrinterCode& code, size_t length)
{
    if (length >= code.minLength && length <= code.maxLength)
        return "";
    std::string least = std::to_string(code.minLength);
    std::string most = std::to_string(code.maxLength);
    if (code.minLength == code.maxLength)
        return programText("Code Length Exactly", { most });
    if (code.minLength == 0)
        return programText("Code Length At Most", { most });
    return programText("Code Length Between", { least, most });
}

}

std::string codeValueProblem(const PrinterCode& code, std::string_view value)
{
    if (value.empty())
        return code.minLength == 0 || !code.companions.empty() ? "" : programText("Code Needed");
    if (code.kind == CodeKind::Listed) {
        bool listed = std::any_of(code.choices.begin(), code.choices.end(), [value](const CodeChoice& choice) { return choice.code == value; });
        return listed ? "" : programText("Code Not Listed");
    }
    if (!std::all_of(value.begin(), value.end(), isCodeCharacter))
        return programText("Code Characters", { std::string(kCodeMarks) });
    if (code.kind == CodeKind::Digits && !std::all_of(value.begin(), value.end(), isAsciiDigit))
        return programText("Code Digits Only");
    if (!code.allowedCharacters.empty()
        && !std::all_of(value.begin(), value.end(), [&code](char c) { return declared(code.allowedCharacters, c); }))
        return programText("Code Declared Characters", { code.allowedCharacters });
    return lengthProblem(code, value.size());
}

std::string fieldsProblem(const std::vector<CodeField>& fields)
{
    for (size_t first = 0; first < fields.size(); ++first) {
        for (size_t second = first + 1; second < fields.size(); ++second) {
            if (fields[first].value.empty() || fields[second].value.empty())
                continue;
            for (const CodeCompanion& one : fields[first].code.companions) {
                for (const CodeCompanion& other : fields[second].code.companions) {
                    if (one.option == other.option && !one.choices.empty() && !other.choices.empty() && one.choices.front() != other.choices.front())
                        return programText("Codes In Conflict", { printableText(fields[first].code.label), printableText(fields[second].code.label) });
                }
            }
        }
    }
    return "";
}

std::vector<CodeSetting> codeJobSettings(const PrinterCode& code, std::string_view value)
{
    std::vector<CodeSetting> settings;
    if (value.empty())
        return settings;
    switch (code.carrier) {
    case CodeCarrier::CustomOption:
        settings.push_back({ code.name, "Custom." + std::string(value) });
        break;
    case CodeCarrier::DigitOptions:
        for (size_t digit = 0; digit < code.digitOptions.size() && digit < value.size(); ++digit)
            settings.push_back({ code.digitOptions[digit], std::string(1, value[digit]) });
        break;
    case CodeCarrier::ListedChoice:
        for (const CodeChoice& choice : code.choices) {
            if (choice.code == value) {
                settings.push_back({ code.name, choice.choice });
                break;
            }
        }
        break;
    case CodeCarrier::IppAttribute:
    case CodeCarrier::PaneSetting:
        settings.push_back({ code.name, std::string(value), code.carrier == CodeCarrier::IppAttribute });
        break;
    }
    for (const CodeCompanion& companion : code.companions) {
        if (!companion.choices.empty())
            settings.push_back({ companion.option, companion.choices.front() });
    }
    return settings;
}

bool codesJobSettings(const std::vector<CodeField>& fields, std::vector<CodeSetting>* settings, std::string* problem)
{
    settings->clear();
    for (const CodeField& field : fields) {
        if (std::string why = codeValueProblem(field.code, field.value); !why.empty()) {
            *problem = "its code " + printableText(field.code.name) + " is not one its printer takes: " + why;
            return false;
        }
        std::vector<CodeSetting> carried = codeJobSettings(field.code, field.value);
        settings->insert(settings->end(), carried.begin(), carried.end());
    }
    *problem = fieldsProblem(fields);
    return problem->empty();
}
